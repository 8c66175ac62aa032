// The /v mode, which checks one file's signature and reports the verdict as
// the exit code, and its caller, which runs a copy of the program that way.
#pragma once

#include <cstdint>

// Exit codes of the /v mode besides 160 for bad arguments.
constexpr uint32_t kVerifyTrusted = 0;
constexpr uint32_t kVerifyNoVerdict = 0x800B0001;   // TRUST_E_PROVIDER_UNKNOWN
constexpr uint32_t kVerifyNotTrusted = 0x800B0004;  // TRUST_E_SUBJECT_NOT_TRUSTED

// commandLine: the arguments without the program name, starting with the
// switch; a terminator is written after the file argument.
uint32_t RunVerificationMode(const char* setupPath, char* commandLine);

// Runs setupPath with /v filePath and waits for it while the calling thread's
// windows keep working. Returns the child's exit code, or a Windows error code
// when the child could not be run.
uint32_t VerifyInChildProcess(const char* setupPath, const char* filePath);
