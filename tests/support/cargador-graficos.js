// Stand-in for the Google Charts loader ("jsapi"), served by tests/support/notifier.py at
// /charts/jsapi. It offers what the report pages use -- google.load,
// google.setOnLoadCallback, google.visualization.arrayToDataTable and the chart classes with
// draw() -- and records in window.__cargador what the page asked for:
//   paquetes   every google.load call: {api, version, packages}
//   callbacks  how many load callbacks were registered
//   dibujos    every draw: {clase, elemento (the placeholder's id), ancho, alto, filas, opciones}
//   errores    uncaught script errors of the page after the loader ran
// As the real loader does, google.visualization exists only once a google.load of the
// "visualization" API with the "corechart" package was asked for, and the callbacks run after
// the document has loaded.
(function () {
  var registro = window.__cargador = {paquetes: [], callbacks: 0, dibujos: [], errores: []};
  window.addEventListener('error', function (e) {
    registro.errores.push(String(e.message));
  });

  var pendientes = [];
  var listo = false;

  function DataTable(filas) {
    if (!Array.isArray(filas)) throw new Error('arrayToDataTable: not an array');
    this.filas = filas;
  }

  function clase(nombre) {
    return function (elemento) {
      if (!elemento) throw new Error(nombre + ': container is not defined');
      this.draw = function (data, opciones) {
        if (!(data instanceof DataTable)) throw new Error(nombre + ': data is not a DataTable');
        registro.dibujos.push({clase: nombre, elemento: elemento.id, ancho: elemento.style.width,
                               alto: elemento.style.height, filas: data.filas,
                               opciones: opciones});
        elemento.textContent = nombre + ' dibujado';
      };
    };
  }

  function cargarVisualizacion() {
    var pedido = registro.paquetes.some(function (p) {
      return p.api === 'visualization' && (p.packages || []).indexOf('corechart') >= 0;
    });
    if (!pedido) return;
    google.visualization = {
      arrayToDataTable: function (filas) { return new DataTable(filas); },
      PieChart: clase('PieChart'),
      ColumnChart: clase('ColumnChart'),
      BarChart: clase('BarChart'),
      LineChart: clase('LineChart'),
      AreaChart: clase('AreaChart')
    };
  }

  function correr() {
    if (!listo) {
      listo = true;
      cargarVisualizacion();
    }
    while (pendientes.length) pendientes.shift()();
  }

  window.google = {
    load: function (api, version, opciones) {
      registro.paquetes.push({api: api, version: version,
                              packages: opciones ? opciones.packages : null});
    },
    setOnLoadCallback: function (f) {
      registro.callbacks++;
      pendientes.push(f);
      if (listo) setTimeout(correr, 0);
    }
  };

  window.addEventListener('load', function () { setTimeout(correr, 0); });
})();
