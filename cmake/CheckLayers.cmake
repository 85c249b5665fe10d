# Fails when a file of the core library includes a widget header or a file of the layers above
# it. Run with -DLIST=file, the file holding the core's sources as a CMake list.
file(READ "${LIST}" SOURCES)
set(bad "")
foreach(file ${SOURCES})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
        if(line MATCHES "[<\"](QtWidgets/|ui/|pages/|app/)"
           OR line MATCHES "<(QWidget|QApplication|QDialog|QAction|QMenu|QFileIconProvider|QMessageBox|QFileDialog|QTreeWidget|QTableWidget|QLabel)>")
            list(APPEND bad "${file}: ${line}")
        endif()
    endforeach()
endforeach()
if(bad)
    list(JOIN bad "\n  " text)
    message(FATAL_ERROR "The core library must not use widgets or the layers above it:\n  ${text}")
endif()
