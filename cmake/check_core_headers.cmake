# Fails the build when a source of the core library includes a Qt widget or GUI
# header. The core library links Qt Core only, but <QtWidgets/...> would still
# resolve through Qt's common include directory, so the rule is checked here.
separate_arguments(files NATIVE_COMMAND "${SOURCES}")
set(bad "")
foreach(f IN LISTS files)
  file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](QtWidgets|QtGui|QWidget|QApplication|QPainter|QImage|QPixmap|QColor|QFont)")
  foreach(l IN LISTS lines)
    string(APPEND bad "\n  ${f}: ${l}")
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "The core library must not use widget or GUI headers:${bad}")
endif()
