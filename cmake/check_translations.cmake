# Run with -P: refreshes a copy of each catalogue from the sources and fails
# when a text in tr() has no translation in it, or when lupdate could not
# tell a text's context (a text the program would then never find).
#   LUPDATE     the lupdate program
#   SOURCE_DIR  the source tree
#   FOLDERS     the source folders to read, separated by ";"
#   CATALOGUES  the .ts files, separated by ";"
#   WORK_DIR    where the copies go
#   UPDATE      when ON, the catalogues themselves are refreshed instead

set(dirs "")
foreach(folder IN LISTS FOLDERS)
    list(APPEND dirs "${SOURCE_DIR}/${folder}")
endforeach()

set(problems "")
foreach(ts IN LISTS CATALOGUES)
    get_filename_component(name "${ts}" NAME)
    if(UPDATE)
        set(target "${ts}")
    else()
        set(target "${WORK_DIR}/${name}")
        configure_file("${ts}" "${target}" COPYONLY)
    endif()
    execute_process(
        COMMAND "${LUPDATE}" -no-obsolete -locations none -extensions cpp,h
                -I "${SOURCE_DIR}" ${dirs} -ts "${target}"
        RESULT_VARIABLE rc
        OUTPUT_VARIABLE out
        ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${name}:\n${out}${err}")
    endif()
    # lupdate's own notices ("Updating ...", "Found ...") are not problems.
    string(REGEX MATCHALL "[^\n]*\\.(cpp|h):[0-9]+:[^\n]*" warnings "${out}${err}")
    foreach(w IN LISTS warnings)
        # Qt's own classes are not read; qualifying with them is harmless.
        if(NOT w MATCHES "unknown namespace/class ::Q")
            string(APPEND problems "  ${w}\n")
        endif()
    endforeach()
    if(UPDATE)
        continue()
    endif()
    file(READ "${target}" text)
    # Our free functions' texts are declared under their class's name; a
    # context "Text" means lupdate lost that declaration.
    if(text MATCHES "<name>Text</name>")
        string(APPEND problems "  ${name}: texts under the context \"Text\": "
            "lupdate could not read a Q_DECLARE_TR_FUNCTIONS\n")
    endif()
    # A text's ";" would split the list of matches.
    string(REPLACE ";" "<semicolon>" text "${text}")
    string(REGEX MATCHALL
        "<source>[^<]*</source>[ \n]*(<comment>[^<]*</comment>[ \n]*)?<translation( type=\"unfinished\")?>(</translation>)?"
        messages "${text}")
    foreach(m IN LISTS messages)
        if(m MATCHES "type=\"unfinished\"" OR m MATCHES "<translation></translation>")
            string(REGEX REPLACE "^<source>([^<]*)</source>.*" "\\1" source "${m}")
            string(REPLACE "<semicolon>" ";" source "${source}")
            string(APPEND problems "  ${name}: no translation of \"${source}\"\n")
        endif()
    endforeach()
endforeach()

if(problems)
    message(FATAL_ERROR
        "The catalogues do not cover the program's texts:\n${problems}"
        "Run `cmake --build build --target update_translations`, translate the new "
        "texts in translations/*.ts (Qt Linguist or a text editor) and build again.")
endif()
