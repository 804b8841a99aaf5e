// This platform's charset converter and crypto, for the programs that run
// the view outside the DLL: tests, the fuzzer and the benchmarks. The DLL
// keeps its own.
#pragma once

#ifdef _WIN32
#include "charset/windows_converter.h"
#include "crypto/cng_crypto.h"
using PlatformConverter = WindowsConverter;
using PlatformCrypto = CngCrypto;
#else
#include "charset/iconv_converter.h"
#include "crypto/openssl_crypto.h"
using PlatformConverter = IconvConverter;
using PlatformCrypto = OpenSslCrypto;
#endif
