// The /v mode: checks one file's signature and reports the verdict as the exit code.
#pragma once

#include <cstdint>

uint32_t RunVerificationMode(const char* setupPath, char* commandLine);
