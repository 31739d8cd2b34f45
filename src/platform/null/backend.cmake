# The null backend: no window, no sound, no keys, the real clock (null.cpp). Needs nothing but the core.
kirake_platform_library(kirake_backend_null null)
