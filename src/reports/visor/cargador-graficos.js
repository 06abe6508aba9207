// The chart loader of the report pages, served to them by the report engine at
// kolvaster-graficos:cargador.js. It offers what a report page calls -- google.load,
// google.setOnLoadCallback, google.visualization.arrayToDataTable and the classes of the
// "corechart" package with draw(data, options) -- and draws with Chart.js, which the engine
// serves beside it (kolvaster-graficos:chart.min.js, from Debian's libjs-chart.js).
//
// Nothing here reaches the network. Texts of the data (labels, titles, values) go to Chart.js,
// which paints them on a canvas: they are never parsed as markup. Whatever cannot be drawn (an
// unknown class, data that is not a table, a library that did not load) leaves a line of text
// in the chart's place, never a blank.
(function () {
  'use strict';
  var BIBLIOTECA = 'kolvaster-graficos:chart.min.js';
  // The palette the pages were designed with, so that reports keep their colours.
  var COLORES = ['#3366cc', '#dc3912', '#ff9900', '#109618', '#990099', '#0099c6', '#dd4477',
                 '#66aa00', '#b82e2e', '#316395', '#994499', '#22aa99', '#aaaa11', '#6633cc',
                 '#e67300', '#8b0707', '#651067', '#329262', '#5574a6', '#3b3eac'];

  var pendientes = [];
  var bibliotecaLista = false;
  var bibliotecaFallo = false;
  var documentoListo = false;
  var visualizacionPedida = false;
  // What was drawn, for whoever looks into the page (the benchmark waits for the first).
  var estado = window.kolvasterGraficos = {dibujados: 0, avisos: 0, primero: null};

  function aviso(elemento, texto) {
    if (!elemento) return;
    while (elemento.firstChild) elemento.removeChild(elemento.firstChild);
    var linea = document.createElement('div');
    linea.className = 'kolvaster-grafico-aviso';
    linea.style.cssText = 'font: 10pt sans-serif; color: #a00000; padding: 4px;';
    linea.textContent = texto;
    elemento.appendChild(linea);
    estado.avisos++;
    if (window.console) console.error(texto);
  }

  function DataTable(filas) {
    if (!Array.isArray(filas)) throw new Error('los datos del grafico no son una tabla');
    for (var i = 0; i < filas.length; ++i)
      if (!Array.isArray(filas[i])) throw new Error('la fila ' + i + ' no es una lista');
    this.filas = filas;
  }
  DataTable.prototype.getNumberOfRows = function () { return Math.max(this.filas.length - 1, 0); };
  DataTable.prototype.getNumberOfColumns = function () {
    return this.filas.length ? this.filas[0].length : 0;
  };

  function texto(v) { return v === null || v === undefined ? '' : String(v); }
  // A value the chart can place; anything else is a gap.
  function numero(v) {
    var n = typeof v === 'number' ? v
        : (typeof v === 'string' && v.trim() !== '' ? Number(v) : NaN);
    return isFinite(n) ? n : null;
  }

  // The legend as a page gives it: 'none', a position, or {position: ...}.
  function leyenda(opciones, porDefecto) {
    var l = opciones.legend;
    var pos = typeof l === 'string' ? l : (l && typeof l.position === 'string' ? l.position : porDefecto);
    if (pos === 'none') return {display: false};
    if (['top', 'bottom', 'left', 'right'].indexOf(pos) < 0) pos = porDefecto;
    return {display: true, position: pos};
  }

  function tituloDeEje(eje) {
    return eje && eje.title !== undefined && eje.title !== null
        ? {display: true, text: texto(eje.title)} : {display: false};
  }

  // The column series of a table: labels from the first column, one series per other column.
  function series(tabla) {
    var cabecera = tabla.filas[0] || [];
    var etiquetas = [];
    var columnas = [];
    for (var c = 1; c < cabecera.length; ++c) columnas.push({label: texto(cabecera[c]), data: []});
    for (var f = 1; f < tabla.filas.length; ++f) {
      var fila = tabla.filas[f];
      etiquetas.push(texto(fila[0]));
      for (var k = 0; k < columnas.length; ++k) columnas[k].data.push(numero(fila[k + 1]));
    }
    return {etiquetas: etiquetas, columnas: columnas};
  }

  function colorDe(colores, i) { return colores[i % colores.length]; }

  function configuracion(clase, tabla, opciones) {
    var colores = Array.isArray(opciones.colors) && opciones.colors.length
        ? opciones.colors.map(texto) : COLORES;
    var s = series(tabla);
    if (!s.columnas.length) throw new Error('la tabla no tiene columnas de valores');
    var base = {
      animation: false, responsive: false, maintainAspectRatio: false, events: [],
      // Twice the page's pixels at least: the canvas keeps the page's size, its picture is
      // sharp on paper as well.
      devicePixelRatio: Math.max(window.devicePixelRatio || 1, 2),
      plugins: {
        title: {display: opciones.title !== undefined && texto(opciones.title) !== '',
                text: texto(opciones.title)},
        legend: leyenda(opciones, 'right'),
        tooltip: {enabled: false}
      }
    };
    var ejes = {x: {title: tituloDeEje(opciones.hAxis)}, y: {title: tituloDeEje(opciones.vAxis)}};

    if (clase === 'PieChart') {
      // A 3D pie is drawn flat.
      return {type: opciones.pieHole > 0 ? 'doughnut' : 'pie', options: base, data: {
        labels: s.etiquetas,
        datasets: [{data: s.columnas[0].data, borderColor: '#ffffff',
                    backgroundColor: s.etiquetas.map(function (_, i) { return colorDe(colores, i); })}]}};
    }
    if (clase === 'ScatterChart') {
      var puntos = s.columnas.map(function (col, k) {
        return {label: col.label, backgroundColor: colorDe(colores, k), borderColor: colorDe(colores, k),
                data: tabla.filas.slice(1).map(function (fila) {
                  return {x: numero(fila[0]), y: numero(fila[k + 1])};
                })};
      });
      base.scales = ejes;
      ejes.x.type = 'linear';
      return {type: 'scatter', options: base, data: {datasets: puntos}};
    }

    var tipos = {ColumnChart: 'bar', BarChart: 'bar', LineChart: 'line', AreaChart: 'line',
                 SteppedAreaChart: 'line', ComboChart: 'bar'};
    var tipo = tipos[clase];
    var relleno = clase === 'AreaChart' || clase === 'SteppedAreaChart';
    var porSerie = opciones.series && typeof opciones.series === 'object' ? opciones.series : {};
    var comun = clase === 'ComboChart' && opciones.seriesType === 'line' ? 'line' : tipo;
    var conjuntos = s.columnas.map(function (col, k) {
      var color = colorDe(colores, k);
      var propio = porSerie[k] && porSerie[k].type;
      var t = clase === 'ComboChart' && (propio === 'line' || propio === 'bars' || propio === 'area')
          ? (propio === 'bars' ? 'bar' : 'line') : comun;
      var c = {type: t, label: col.label, data: col.data, borderColor: color,
               backgroundColor: relleno || propio === 'area' ? color + '80' : color,
               fill: relleno || propio === 'area' ? 'origin' : false, pointRadius: t === 'line' ? 2 : 0};
      if (clase === 'SteppedAreaChart') c.stepped = true;
      return c;
    });
    base.scales = ejes;
    if (clase === 'BarChart') base.indexAxis = 'y';
    return {type: tipo, options: base, data: {labels: s.etiquetas, datasets: conjuntos}};
  }

  function Grafico(clase, elemento) {
    if (!elemento) throw new Error(clase + ': no hay elemento donde dibujar');
    this.clase = clase;
    this.elemento = elemento;
  }
  Grafico.prototype.draw = function (datos, opciones) {
    var el = this.elemento;
    var clase = this.clase;
    opciones = opciones && typeof opciones === 'object' ? opciones : {};
    if (!window.Chart) {
      aviso(el, 'No se puede dibujar el grafico: falta la biblioteca de graficos (libjs-chart.js)');
      return;
    }
    try {
      if (!(datos instanceof DataTable)) throw new Error('los datos no son una tabla de datos');
      var ancho = numero(opciones.width) || el.clientWidth || 400;
      var alto = numero(opciones.height) || el.clientHeight || 200;
      var config = configuracion(clase, datos, opciones);
      while (el.firstChild) el.removeChild(el.firstChild);
      var lienzo = document.createElement('canvas');
      lienzo.style.display = 'block';
      lienzo.width = ancho;
      lienzo.height = alto;
      lienzo.style.width = ancho + 'px';
      lienzo.style.height = alto + 'px';
      el.appendChild(lienzo);
      new window.Chart(lienzo, config);
      estado.dibujados++;
      if (estado.primero === null) estado.primero = performance.now();
    } catch (e) {
      aviso(el, 'No se puede dibujar el grafico ' + clase + ': ' + (e && e.message ? e.message : e));
    }
  };

  function Desconocido(clase) {
    return function (elemento) {
      this.draw = function () {
        aviso(elemento, 'Tipo de grafico desconocido: ' + clase);
      };
    };
  }

  var clases = {};
  ['PieChart', 'ColumnChart', 'BarChart', 'LineChart', 'AreaChart', 'ComboChart', 'ScatterChart',
   'SteppedAreaChart'].forEach(function (nombre) {
    clases[nombre] = function (elemento) { Grafico.call(this, nombre, elemento); };
    clases[nombre].prototype = Grafico.prototype;
  });

  function crearVisualizacion() {
    var propio = {
      arrayToDataTable: function (filas) { return new DataTable(filas); },
      DataTable: DataTable
    };
    Object.keys(clases).forEach(function (k) { propio[k] = clases[k]; });
    // A class the loader does not know still draws: the line that says so.
    return new Proxy(propio, {
      get: function (objeto, nombre) {
        if (nombre in objeto) return objeto[nombre];
        if (typeof nombre === 'string' && /^[A-Z][A-Za-z0-9]*$/.test(nombre)) return Desconocido(nombre);
        return undefined;
      }
    });
  }

  function correr() {
    if (!documentoListo || !(bibliotecaLista || bibliotecaFallo) || !visualizacionPedida) return;
    if (!window.google.visualization) window.google.visualization = crearVisualizacion();
    while (pendientes.length) {
      var f = pendientes.shift();
      try { f(); } catch (e) { if (window.console) console.error(String(e && e.message || e)); }
    }
  }

  window.google = {
    load: function (api, version, opciones) {
      if (api !== 'visualization') return;
      visualizacionPedida = true;
      if (opciones && typeof opciones.callback === 'function') pendientes.push(opciones.callback);
      setTimeout(correr, 0);
    },
    setOnLoadCallback: function (f) {
      if (typeof f !== 'function') return;
      pendientes.push(f);
      setTimeout(correr, 0);
    }
  };

  var script = document.createElement('script');
  script.src = BIBLIOTECA;
  script.onload = function () { bibliotecaLista = true; correr(); };
  script.onerror = function () { bibliotecaFallo = true; correr(); };
  (document.head || document.documentElement).appendChild(script);

  if (document.readyState === 'loading')
    document.addEventListener('DOMContentLoaded', function () { documentoListo = true; correr(); });
  else
    documentoListo = true;
})();
