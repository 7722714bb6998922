# Fails the build when a source of a Qt Core target includes a Qt widget or
# GUI header. Such a target links Qt Core only, but <QtWidgets/...> would still
# resolve through Qt's common include directory, so the rule is checked here.
#   -DLIST=file with one source per line  -DBASE=the target's folder
#   -DROOT=the folder our own sources live in  -DWHAT=what the target is
file(STRINGS "${LIST}" files)
set(bad "")
foreach(f IN LISTS files)
  cmake_path(ABSOLUTE_PATH f BASE_DIRECTORY "${BASE}" NORMALIZE)
  # Files the build generates (moc's) are not ours to check.
  string(FIND "${f}" "${ROOT}/" at)
  if(NOT at EQUAL 0)
    continue()
  endif()
  file(STRINGS "${f}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](QtWidgets|QtGui|QWidget|QApplication|QPainter|QImage|QPixmap|QColor|QFont)")
  foreach(l IN LISTS lines)
    string(APPEND bad "\n  ${f}: ${l}")
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "${WHAT} must not use widget or GUI headers:${bad}")
endif()
