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

option(OMBRIX_USE_HTTPS "Reach the manifest host and the content nodes over https" OFF)
if(OMBRIX_USE_HTTPS)
  set(OMBRIX_URL_SCHEME "https")
else()
  set(OMBRIX_URL_SCHEME "http")
endif()

set(OMBRIX_DEPLOYMENT_HEADER ${CMAKE_BINARY_DIR}/generated/deployment.h)
configure_file(${CMAKE_SOURCE_DIR}/src/deployment.h.in ${OMBRIX_DEPLOYMENT_HEADER} @ONLY)
