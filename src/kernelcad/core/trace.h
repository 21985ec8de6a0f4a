#pragma once

namespace kernelcad {

// Marks a moment of a scan's way to the screen ("read", "frame-full", ...). With QUARNEL_TRACE
// set in the environment each mark is one stderr line "quarnel-trace MOMENT MS CPU_MS": MS on
// the steady clock every process shares, CPU_MS the processor time this process has used, so
// the open benchmark times the stages of a whole program from outside it, on a busy machine
// too; without it a mark costs one branch.
void Trace(const char* moment);

}  // namespace kernelcad
