# Writes OUT_DIR/brindlec.html (the page, loading brindlec.js) and
# OUT_DIR/brindlec-single.html (the same page with SCRIPT, the single-file
# build, inside it).
file(READ "${PAGE}" page)
set(tag "<script src=\"brindlec.js\"></script>")
string(FIND "${page}" "${tag}" at)
if(at LESS 0)
  message(FATAL_ERROR "${PAGE} has no ${tag}")
endif()
file(READ "${SCRIPT}" script)
string(FIND "${script}" "</script" closing)
if(NOT closing LESS 0)
  message(FATAL_ERROR "${SCRIPT} contains </script and cannot go inside the page")
endif()
string(REPLACE "${tag}" "<script>\n${script}\n</script>" single "${page}")
file(WRITE "${OUT_DIR}/brindlec.html" "${page}")
file(WRITE "${OUT_DIR}/brindlec-single.html" "${single}")
