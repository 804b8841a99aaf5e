/* int32_t callAsHost(const void* function, const uint32_t* args, int count,
                      uint32_t stackOffset, HostCallCheck* check)

   Calls function as a host built by any compiler may: count 32-bit
   arguments pushed from the last to the first, so that the stack pointer at
   the call stands stackOffset (0, 4, 8 or 12) bytes past a 16-byte boundary,
   since a 32-bit Windows program keeps no more than 4-byte alignment; ebx,
   esi, edi, ebp, the x87 control word and MXCSR set to the values that
   check->given holds. Returns the callee's result and stores in check->left
   what the callee left in each, and the stack pointer after the call less
   the one before the pushes: 0 when the callee removed exactly its
   arguments, negative when it left some behind. The caller's own registers,
   control word and MXCSR come back either way.

   The caller's stack pointer waits in a static slot while the callee runs
   (every register is the callee's then): one call at a time, as a host
   calls its plug-ins. check is laid out as HostCallCheck in host_call.h. */

    .data
    .p2align 2
callerEsp:      .long 0     /* ours, below the saved registers and controls */
beforePushes:   .long 0
checkAt:        .long 0     /* check, kept where the callee cannot change it */

    .text
    .globl _callAsHost
_callAsHost:
    pushl   %ebp
    movl    %esp, %ebp
    pushl   %ebx
    pushl   %esi
    pushl   %edi
    subl    $8, %esp
    fnstcw  (%esp)
    stmxcsr 4(%esp)
    movl    %esp, callerEsp

    /* The callee's stack, a little below ours. */
    movl    16(%ebp), %ecx          /* count */
    movl    12(%ebp), %edx          /* args */
    leal    -64(%esp), %eax
    andl    $-16, %eax
    addl    20(%ebp), %eax          /* where the stack pointer stands at the call */
    leal    (%eax,%ecx,4), %esp
    movl    %esp, beforePushes
1:  testl   %ecx, %ecx
    jz      2f
    decl    %ecx
    pushl   (%edx,%ecx,4)
    jmp     1b

2:  movl    24(%ebp), %eax          /* check->given */
    movl    %eax, checkAt
    fldcw   20(%eax)
    ldmxcsr 16(%eax)
    movl    0(%eax), %ebx
    movl    4(%eax), %esi
    movl    8(%eax), %edi
    movl    8(%ebp), %ecx           /* function */
    movl    12(%eax), %ebp
    call    *%ecx

    /* What the callee left, into check->left; ecx and edx are the callee's
       to use, eax holds its result. */
    movl    checkAt, %ecx
    movl    %ebx, 28(%ecx)
    movl    %esi, 32(%ecx)
    movl    %edi, 36(%ecx)
    movl    %ebp, 40(%ecx)
    stmxcsr 44(%ecx)
    fnstcw  48(%ecx)
    movl    %esp, %edx
    subl    beforePushes, %edx
    movl    %edx, 52(%ecx)          /* left.stackDelta */

    movl    callerEsp, %esp
    fldcw   (%esp)
    ldmxcsr 4(%esp)
    addl    $8, %esp
    popl    %edi
    popl    %esi
    popl    %ebx
    popl    %ebp
    ret
