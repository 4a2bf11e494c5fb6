# How the programs link for the browser: one module each (demo_sw.js and
# demo_sw.wasm), made by a factory the page calls with its hooks, run when the
# page has put the data files in the module's file system.
function(qvn_web_program target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvn_Web_web.cpp)
  target_link_options(${target} PRIVATE
    # The show's nested frame loops stay as they are: at each flip the
    # program unwinds to the browser and carries on at its next frame.
    -sASYNCIFY=1
    -sASYNCIFY_STACK_SIZE=65536
    -sALLOW_MEMORY_GROWTH=1
    -sINITIAL_MEMORY=134217728
    -sTOTAL_STACK=5242880
    -sMODULARIZE=1
    -sEXPORT_NAME=qvn_${target}
    -sINVOKE_RUN=0
    # The runtime stays: main's first unwind to the browser must not end it.
    # The end of the program comes through the page's qvnExited hook.
    -sEXIT_RUNTIME=0
    -sFORCE_FILESYSTEM=1
    "-sEXPORTED_RUNTIME_METHODS=['callMain','FS','NODEFS']"
    -sENVIRONMENT=web,node
    -lnodefs.js)
endfunction()
