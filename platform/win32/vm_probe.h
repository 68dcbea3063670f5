// Processor probes that tell whether the engine runs inside one of two virtual machines. Each
// executes an instruction that faults on a real processor; the fault is caught by a vectored
// exception handler (the compiler has no structured exception handling) that steps over the
// instruction, and the probe then answers false.
#pragma once

namespace corvane::platform::win32 {

// The backdoor port: IN from port 0x5658 with the magic 0x564D5868 and command 10 gives the magic
// back in EBX only inside that virtual machine.
bool ProbeVmwareBackdoor();
// The instruction bytes 0F 3F 07 0B run without a fault only inside that virtual machine.
bool ProbeVirtualPcInstruction();

}  // namespace corvane::platform::win32
