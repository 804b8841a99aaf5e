// This platform's converter, for the programs that run the view outside the
// DLL: tests, the fuzzer and the benchmarks. The DLL keeps its own.
#pragma once

#ifdef _WIN32
#include "charset/windows_converter.h"
using PlatformConverter = WindowsConverter;
#else
#include "charset/iconv_converter.h"
using PlatformConverter = IconvConverter;
#endif
