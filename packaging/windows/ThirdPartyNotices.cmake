# Run at install time, after RuntimeLibraries.cmake and the source folder:
# writes THIRD-PARTY-NOTICES.txt beside bin/, made from the DLLs and plugins the
# kit holds now. Each gets an entry (component, version, licence, where its
# source is); then come the licence texts and copyright notices those entries
# need, as the build machine's Debian packages hold them. A DLL that no rule
# below knows stops the install: someone has to decide what it owes first.
#
# Set by the install(CODE) before it: CALVENORI_DLL_FOLDERS, CALVENORI_PRODUCT,
# CALVENORI_QT_VERSION, CALVENORI_QT_BASE_SOURCE(_VERSION),
# CALVENORI_QT_SERIALPORT_TARBALL, CALVENORI_QT_SERIALPORT_TAG,
# CALVENORI_NOTICES_SCRATCH (where the file is made before it is installed).
include(${CMAKE_CURRENT_LIST_DIR}/NoticeTexts.cmake)
set(kit "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

set(entries "")
set(licences "")  # the licence texts
set(notices "")   # the copyright notices
set(added "")

# Appends `text` under `heading` to `part` (licences or notices), once per `key`.
function(add_text part key heading text)
  list(FIND added ${key} at)
  if(at LESS 0)
    set(added ${added} ${key} PARENT_SCOPE)
    set(${part} "${${part}}\n---- ${heading} ----\n\n${text}" PARENT_SCOPE)
  endif()
endfunction()

function(add_entry file component version licence source)
  string(REPLACE "/" "\\" shown "${file}")
  string(CONCAT entry "File:      ${shown}\nComponent: ${component}\nVersion:   ${version}\n"
                      "Licence:   ${licence}\nSource:    ${source}\n\n")
  set(entries "${entries}${entry}" PARENT_SCOPE)
endfunction()

# A licence text of base-files' /usr/share/common-licenses.
function(add_common_licence name title)
  set(path /usr/share/common-licenses/${name})
  calvenori_read_text(${path} text)
  calvenori_package_of(${path} package)
  calvenori_package_facts(${package})
  add_text(licences ${name} "${title} (${path}, Debian package ${package} ${${package}_VERSION})" "${text}")
  set(added ${added} PARENT_SCOPE)
  set(licences "${licences}" PARENT_SCOPE)
endfunction()

# Qt's licences and the Debian copyright file of the same Qt release, whose
# upstream version must be this Qt's.
function(add_qt_texts module notices_package)
  add_common_licence(LGPL-3 "GNU Lesser General Public License, version 3")
  add_common_licence(GPL-3 "GNU General Public License, version 3")
  calvenori_package_facts(${notices_package})
  if(NOT ${notices_package}_SOURCE_VERSION MATCHES "^${CALVENORI_QT_VERSION}[-+]")
    message(FATAL_ERROR "${notices_package} is of Qt ${${notices_package}_SOURCE_VERSION}, the kit's Qt is "
                        "${CALVENORI_QT_VERSION}: its copyright file would not be this Qt's")
  endif()
  set(path /usr/share/doc/${notices_package}/copyright)
  calvenori_read_text(${path} text)
  string(CONCAT heading "Copyright notices of ${module} and of the code it includes: Debian's copyright file of "
                        "${${notices_package}_SOURCE} ${${notices_package}_SOURCE_VERSION} (${path})")
  add_text(notices ${notices_package} "${heading}" "${text}")
  set(added ${added} PARENT_SCOPE)
  set(licences "${licences}" PARENT_SCOPE)
  set(notices "${notices}" PARENT_SCOPE)
endfunction()

# Where a MinGW runtime DLL came from: the Debian package that holds it in
# one of the folders RuntimeLibraries.cmake copied from.
function(mingw_package name out)
  foreach(folder ${CALVENORI_DLL_FOLDERS})
    if(EXISTS "${folder}/${name}")
      calvenori_package_of("${folder}/${name}" package)
      set(${out} ${package} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${name} is in none of ${CALVENORI_DLL_FOLDERS}")
endfunction()

file(GLOB_RECURSE shipped LIST_DIRECTORIES false RELATIVE "${kit}" "${kit}/*")
list(FILTER shipped INCLUDE REGEX "\\.[dD][lL][lL]$")
list(SORT shipped)
set(base_source "Debian source package ${CALVENORI_QT_BASE_SOURCE} ${CALVENORI_QT_BASE_SOURCE_VERSION} "
                "(apt-get source ${CALVENORI_QT_BASE_SOURCE}=${CALVENORI_QT_BASE_SOURCE_VERSION}), changed and "
                "built by source\\build-qt-mingw.sh: see source\\README.txt")
string(CONCAT base_source ${base_source})
set(qt_licence "LGPL-3.0-only: the GNU Lesser General Public License, version 3, with the GNU GPL version 3 it "
               "adds to (texts below)")
string(CONCAT qt_licence ${qt_licence})
foreach(file ${shipped})
  get_filename_component(name "${file}" NAME)
  if(file MATCHES "^bin/Qt6SerialPort\\.dll$")
    add_qt_texts("Qt Serial Port" libqt6serialport6)
    add_entry(${file} "Qt Serial Port" ${CALVENORI_QT_VERSION} "${qt_licence}"
              "source\\${CALVENORI_QT_SERIALPORT_TARBALL} (Qt's qtserialport at tag ${CALVENORI_QT_SERIALPORT_TAG}), built by source\\build-qt-mingw.sh: see source\\README.txt")
  elseif(file MATCHES "^bin/Qt6([A-Za-z]+)\\.dll$")
    add_qt_texts("Qt (qtbase)" libqt6core6)
    add_entry(${file} "Qt ${CMAKE_MATCH_1}" ${CALVENORI_QT_VERSION} "${qt_licence}" "${base_source}")
  elseif(file MATCHES "^bin/(platforms|styles)/(q[a-z0-9]+)\\.dll$")
    set(plugin ${CMAKE_MATCH_2})
    string(REGEX REPLACE "s$" "" kind "${CMAKE_MATCH_1}")
    add_qt_texts("Qt (qtbase)" libqt6core6)
    add_entry(${file} "Qt's ${kind} plugin ${plugin}" ${CALVENORI_QT_VERSION} "${qt_licence}" "${base_source}")
  elseif(file MATCHES "^bin/(libstdc\\+\\+-6|libgcc_s_seh-1)\\.dll$")
    mingw_package(${name} package)
    calvenori_package_facts(${package})
    set(copyright /usr/share/doc/${package}/copyright)
    calvenori_read_text(${copyright} gcc_copyright)
    add_common_licence(GPL-3 "GNU General Public License, version 3")
    calvenori_cut("${gcc_copyright}" ${copyright} "GCC RUNTIME LIBRARY EXCEPTION\n\nVersion 3.1"
                  "requirements of the license of GCC.\n" exception)
    add_text(licences exception:${package} "GCC Runtime Library Exception, version 3.1 (from ${copyright})" "${exception}")
    calvenori_cut("${gcc_copyright}" ${copyright} "GCC is Copyright (C)" "Free Software Foundation, Inc.\n" notice)
    add_text(notices gcc:${package} "Copyright notice of GCC (from ${copyright})" "${notice}")
    if(name MATCHES "^libstdc")
      set(component "GCC's C++ standard library (libstdc++)")
    else()
      set(component "GCC's runtime support library (libgcc)")
    endif()
    set(source "Debian source package ${${package}_SOURCE} ${${package}_SOURCE_VERSION}")
    set(get "${${package}_SOURCE}=${${package}_SOURCE_VERSION}")
    if(${package}_BUILT_USING)
      string(REPLACE "=" " " with "${${package}_BUILT_USING}")
      string(APPEND source ", built from ${with}")
      string(APPEND get " ${${package}_BUILT_USING}")
    endif()
    add_entry(${file} "${component}" "${${package}_VERSION} (Debian package ${package})"
              "GPL-3.0-or-later WITH GCC-exception-3.1: the GNU General Public License, version 3 or later, with the GCC Runtime Library Exception, version 3.1 (texts below)"
              "${source} (apt-get source ${get})")
  elseif(file MATCHES "^bin/libwinpthread-1\\.dll$")
    mingw_package(${name} package)
    calvenori_package_facts(${package})
    set(copyright /usr/share/doc/${package}/copyright)
    calvenori_read_text(${copyright} mingw_copyright)
    # The stanzas of the library's own files (the last is src/libgcc/dll_math.c's; its tests are not
    # shipped), then the licences they name.
    calvenori_cut("${mingw_copyright}" ${copyright} "Files: mingw-w64-libraries/winpthreads/*\n"
                  "License: BSD-3-clause\n" files)
    calvenori_cut("${mingw_copyright}" ${copyright} "License: expat\n Permission" "" expat)
    calvenori_cut("${mingw_copyright}" ${copyright} "License: BSD-3-clause\n Redistribution" "" bsd)
    calvenori_cut("${mingw_copyright}" ${copyright} "License: public-domain\n This file" "" public)
    add_text(licences winpthreads:${package}
             "The licence of winpthreads, as Debian's copyright file of ${${package}_SOURCE} states it (from ${copyright})"
             "${files}\n${expat}\n${bsd}\n${public}")
    add_entry(${file} "MinGW-w64's POSIX threads library (winpthreads)" "${${package}_VERSION} (Debian package ${package})"
              "MIT (expat) and BSD-3-Clause, with public-domain parts: the licence of winpthreads (text below)"
              "Debian source package ${${package}_SOURCE} ${${package}_SOURCE_VERSION} (apt-get source ${${package}_SOURCE}=${${package}_SOURCE_VERSION})")
  else()
    message(FATAL_ERROR "The kit ships ${file}, which packaging/windows/ThirdPartyNotices.cmake knows no licence "
                        "for: give it a rule there (component, licence, source) before it ships")
  endif()
endforeach()

set(heading "${CALVENORI_PRODUCT} for Windows: third-party software")
string(REGEX REPLACE "." "=" rule "${heading}")
set(intro [=[
The programs in bin\ (the .exe files) are the Calvenori Uploader
developers' own; copyright.txt states their terms. They use the libraries
below, which are other people's work under licences of their own.

Each library is a separate DLL in bin\ (Qt's plugins are in bin\platforms\
and bin\styles\), which the programs load when they start. You may replace
any of them with another build of the same library, changed or not (for Qt:
a Qt 6.4 for 64-bit Windows built with MinGW-w64, posix threads, as shared
libraries), and the programs will use it without being rebuilt.

Qt was built for this kit with two changes to its source. The script that
built it, the exact source packages it was built from and the two changes
are in the source\ folder beside this file (source\README.txt).
]=])
set(text "${heading}\n${rule}\n\n${intro}\n${entries}Licence texts and notices\n=========================\n\n")
string(APPEND text "Taken from the Debian packages of the machine that built the kit.\n${licences}${notices}")
string(REPLACE "\n" "\r\n" text "${text}")
# UTF-8, marked as such for Notepad and the installer: some names in the
# notices are not ASCII.
string(ASCII 239 187 191 bom)
file(WRITE "${CALVENORI_NOTICES_SCRATCH}/THIRD-PARTY-NOTICES.txt" "${bom}${text}")
file(INSTALL "${CALVENORI_NOTICES_SCRATCH}/THIRD-PARTY-NOTICES.txt" DESTINATION "${CMAKE_INSTALL_PREFIX}")
