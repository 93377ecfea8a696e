# Deployment values: the hosts a build talks to. A development build uses loopback
# addresses with fixed ports so that a local server answers out of the box; a product
# build sets its own hosts on the cmake command line.
set(OMBRIX_MANIFEST_HOST "127.0.0.1:47080" CACHE STRING
    "Default manifest host (authority, may carry a port)")
set(OMBRIX_ANALYTICS_EVENTS_URL "http://127.0.0.1:47081" CACHE STRING
    "Base address of the analytics events endpoint; the geolocation address is this plus /geo-location")
set(OMBRIX_ANALYTICS_TRANSFERS_URL "http://127.0.0.1:47082" CACHE STRING
    "Base address of the analytics transfers endpoint")
set(OMBRIX_SUPPORT_HOST "127.0.0.1:47083" CACHE STRING
    "Host of the support site named in error messages")

set(OMBRIX_TRUST_KEY "" CACHE STRING
    "Ed25519 public key (base64, as ombrix-pack keygen prints it) that package manifests must be signed with; empty for unsigned manifests")
# 32 key bytes are 44 base64 characters, the last one "=".
if(NOT OMBRIX_TRUST_KEY STREQUAL "" AND NOT OMBRIX_TRUST_KEY MATCHES "^[A-Za-z0-9+/]+=$")
  message(FATAL_ERROR "OMBRIX_TRUST_KEY must be the base64 text ombrix-pack keygen prints")
endif()
string(LENGTH "${OMBRIX_TRUST_KEY}" OMBRIX_TRUST_KEY_LENGTH)
if(NOT OMBRIX_TRUST_KEY_LENGTH EQUAL 0 AND NOT OMBRIX_TRUST_KEY_LENGTH EQUAL 44)
  message(FATAL_ERROR "OMBRIX_TRUST_KEY must be the 44 characters ombrix-pack keygen prints")
endif()

option(OMBRIX_USE_HTTPS "Reach the manifest host and the content nodes over https" OFF)
if(OMBRIX_USE_HTTPS)
  set(OMBRIX_URL_SCHEME "https")
else()
  set(OMBRIX_URL_SCHEME "http")
endif()

set(OMBRIX_DEPLOYMENT_HEADER ${CMAKE_BINARY_DIR}/generated/deployment.h)
configure_file(${CMAKE_SOURCE_DIR}/src/deployment.h.in ${OMBRIX_DEPLOYMENT_HEADER} @ONLY)
