#include "platform/win32/vm_probe.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <mutex>

namespace corvane::platform::win32 {

namespace {

// Set on the probing thread while its probe instruction runs: the handler touches no other
// exception. The handler recognises the probe by the instruction bytes at the fault.
thread_local int probing = 0;  // 0 none, 1 the port read, 2 the undefined instruction
thread_local bool faulted = false;

const unsigned char kPortRead[] = {0xED};  // in eax, dx
const unsigned char kVirtualPc[] = {0x0F, 0x3F, 0x07, 0x0B};

LONG CALLBACK StepOverProbe(EXCEPTION_POINTERS* info) {
  if (probing == 0) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD code = info->ExceptionRecord->ExceptionCode;
  if (code != EXCEPTION_PRIV_INSTRUCTION && code != EXCEPTION_ILLEGAL_INSTRUCTION &&
      code != EXCEPTION_ACCESS_VIOLATION) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const unsigned char* at = static_cast<const unsigned char*>(info->ExceptionRecord->ExceptionAddress);
  const unsigned char* bytes = probing == 1 ? kPortRead : kVirtualPc;
  const size_t size = probing == 1 ? sizeof kPortRead : sizeof kVirtualPc;
  if (at == nullptr || std::memcmp(at, bytes, size) != 0) return EXCEPTION_CONTINUE_SEARCH;
  faulted = true;
#if defined(_M_X64) || defined(__x86_64__)
  info->ContextRecord->Rip += size;
#else
  info->ContextRecord->Eip += size;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

// The handler is installed once, first in the chain, for the life of the process.
void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] { AddVectoredExceptionHandler(1, StepOverProbe); });
}

struct ProbeScope {
  explicit ProbeScope(int which) {
    InstallHandler();
    faulted = false;
    probing = which;
  }
  ~ProbeScope() { probing = 0; }
};

}  // namespace

__attribute__((noinline)) bool ProbeVmwareBackdoor() {
  ProbeScope scope(1);
  uint32_t eax = 0x564D5868, ebx = 0, ecx = 10, edx = 0x5658;
  asm volatile("inl %%dx, %%eax" : "+a"(eax), "+b"(ebx), "+c"(ecx), "+d"(edx) : : "memory");
  return !faulted && ebx == 0x564D5868;
}

__attribute__((noinline)) bool ProbeVirtualPcInstruction() {
  ProbeScope scope(2);
  asm volatile(".byte 0x0F, 0x3F, 0x07, 0x0B" : : : "memory");
  return !faulted;
}

}  // namespace corvane::platform::win32
