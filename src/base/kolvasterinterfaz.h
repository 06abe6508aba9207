#pragma once

// What every window of the launcher and of the suite's programs needs before the first widget
// exists. The forms are drawn at fixed sizes for "MS Sans Serif" 10 pt, a narrow Windows font;
// without it the fallback is wider and texts are clipped. Qt's own words (standard buttons, file
// and print dialogs, context menus) come in English unless Qt's Spanish catalogue is loaded.
//
//   int main(int argc, char *argv[])
//   {
//       QApplication app(argc, argv);
//       kolvasterPrepararInterfaz();
//       ...
//
// The launcher and every program that links kolvasterreportes call it first thing (a function
// the program calls, rather than start-up code hidden in the static library, which the linker
// would drop). Calling it again does nothing.

// The font that stands in for "MS Sans Serif": metrics close to the Windows font's.
inline constexpr const char *kolvasterFuenteFormularios = "Liberation Sans";

void kolvasterPrepararInterfaz();

// True when Qt's Spanish catalogue was found and installed.
bool kolvasterTraduccionCargada();
