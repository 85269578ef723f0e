#include "win32_slot_probe.h"

namespace slotprobe {

// SlotProbeCall(function, object, words, count, eax): pushes words[count-1]
// down to words[0], puts object in ECX, calls function, stores EAX and
// returns ESP after the call minus ESP before the pushes. ESP is then put
// back whatever the callee removed, so a wrong slot is reported, not fatal.
asm(R"(
  .text
  .globl _SlotProbeCall
_SlotProbeCall:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl %esp, %edi
  movl 16(%ebp), %esi
  movl 20(%ebp), %ebx
1:
  testl %ebx, %ebx
  jz 2f
  decl %ebx
  pushl (%esi,%ebx,4)
  jmp 1b
2:
  movl 12(%ebp), %ecx
  call *8(%ebp)
  movl %esp, %ebx
  movl %edi, %esp
  movl 24(%ebp), %ecx
  movl %eax, (%ecx)
  movl %ebx, %eax
  subl %edi, %eax
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

}  // namespace slotprobe
