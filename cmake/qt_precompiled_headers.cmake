# Precompiled Qt headers. Qt's headers are most of what a Qt source file
# costs to compile (several seconds each for QtQml and QtQuick), and the
# window's library has some forty sources, most of them generated from QML,
# that all include them. nlohmann/json was tried too and built slower: its
# templates are instantiated per file anyway.
#
# ccache caches a compilation that uses a precompiled header only when it may
# ignore the header's macros and time stamps, so these targets tell it so.

function(nvx_precompile_qt_headers target)
  target_precompile_headers(${target} PRIVATE ${ARGN})
  if(CCACHE_PROGRAM)
    set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER
      "${CMAKE_COMMAND};-E;env;CCACHE_SLOPPINESS=pch_defines,time_macros;${CCACHE_PROGRAM}")
  endif()
endfunction()

# What the Qt Core layers include.
set(NVX_QT_CORE_HEADERS <QObject> <QString> <QStringList> <QVariant> <QPointer> <QDir> <QFile>)
# What the QML views, their generated code and the Qt Quick helpers include.
set(NVX_QT_QUICK_HEADERS ${NVX_QT_CORE_HEADERS} <QUrl> <QtQml/qqmlregistration.h> <QtQml/qqmlengine.h>
    <QtQml/qqmlprivate.h> <QtQuick/qquickitem.h>)
