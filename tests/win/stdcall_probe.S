/* int32_t callCountingStack(const void* function, const uint32_t* args,
                             int count, int* stackDelta)

   Calls function as a stdcall caller does, with count 32-bit arguments
   pushed from the last to the first, and returns its result. Stores in
   *stackDelta the stack pointer after the call less the stack pointer
   before the pushes: 0 when the callee removed exactly its arguments,
   negative when it left some behind. The stack is restored either way. */

    .text
    .globl _callCountingStack
_callCountingStack:
    pushl   %ebp
    movl    %esp, %ebp
    pushl   %ebx
    pushl   %esi
    pushl   %edi
    movl    %esp, %esi          /* callee-saved: survives the call */
    movl    12(%ebp), %edx      /* args */
    movl    16(%ebp), %ecx      /* count */
1:  testl   %ecx, %ecx
    jz      2f
    decl    %ecx
    pushl   (%edx,%ecx,4)
    jmp     1b
2:  call    *8(%ebp)
    movl    %esp, %ecx
    subl    %esi, %ecx
    movl    %esi, %esp
    movl    20(%ebp), %edx
    movl    %ecx, (%edx)
    popl    %edi
    popl    %esi
    popl    %ebx
    popl    %ebp
    ret
