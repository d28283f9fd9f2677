/*
 * Code that structured-exception translation needs with unwind information of its own.
 *
 * ombru_fault_thunk_entry: where a translated fault resumes. The rewritten context leaves the
 * stack pointer of the frame the exception is thrown from (the faulting one, or the caller of a
 * prologue or of the stack probe) and the fake return address in r11; the push makes the thunk
 * "called" from that point. The function proper begins after the push, so that its unwind
 * information sees an ordinary call.
 *
 * ___chkstk_ms: the stack probe GCC calls for frames over 4 KiB. libgcc's has no unwind
 * information, and a stack overflow faults inside it; this one can be unwound through.
 */
	.text
	.globl	ombru_fault_thunk_entry
	.def	ombru_fault_thunk_entry;	.scl	2;	.type	32;	.endef
ombru_fault_thunk_entry:
	pushq	%r11

	.def	ombru_fault_thunk;	.scl	3;	.type	32;	.endef
	.seh_proc	ombru_fault_thunk
ombru_fault_thunk:
	pushq	%rbp
	.seh_pushreg	%rbp
	movq	%rsp, %rbp
	.seh_setframe	%rbp, 0
	.seh_endprologue
	andq	$-16, %rsp
	subq	$32, %rsp
	call	ombru_raise_translated_exception
	int3
	.seh_endproc

	.globl	___chkstk_ms
	.def	___chkstk_ms;	.scl	2;	.type	32;	.endef
	.seh_proc	___chkstk_ms
___chkstk_ms:
	pushq	%rcx
	.seh_pushreg	%rcx
	pushq	%rax
	.seh_pushreg	%rax
	.seh_endprologue
	cmpq	$0x1000, %rax
	leaq	24(%rsp), %rcx
	jb	2f
1:	subq	$0x1000, %rcx
	orq	$0x0, (%rcx)
	subq	$0x1000, %rax
	cmpq	$0x1000, %rax
	ja	1b
2:	subq	%rax, %rcx
	orq	$0x0, (%rcx)
	popq	%rax
	popq	%rcx
	ret
	.seh_endproc
