# The HTTP client's parsers of outside input: response heads from any server, and the addresses
# (download addresses, redirect targets, proxy fields) it connects to.
corvane_add_fuzzer(NAME http_response_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/install/http_response_fuzzer.cpp
  LIBS corvane_http
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/install/http_response_corpus)
corvane_add_fuzzer(NAME http_url_fuzzer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/install/http_url_fuzzer.cpp
  LIBS corvane_http
  SEED_DIRS ${CMAKE_CURRENT_LIST_DIR}/install/http_url_corpus)
