/* The stubs and import slots of the system libraries bound at their first
   call (fw/uSystemLibraryTable.h lists them; uSystemLibraries.cpp binds). */
#include "fw/uSystemLibraryTable.h"

/* The common part of every stub: [esp] holds the row's descriptor; the
   caller's return address and arguments lie above it, untouched. */
	.text
vt_lazy_common:
	pushl %ecx
	pushl %edx
	pushl 8(%esp)
	call _vt_ResolveSystemImport
	addl $4, %esp
	popl %edx
	popl %ecx
	addl $4, %esp
	jmp *%eax

	.macro vt_import lib, name, bytes
	.section .data$vtsys,"w"
	.p2align 2
	.globl __imp__\name\()@\bytes
__imp__\name\()@\bytes:
	.long vt_lazy_\name
vt_desc_\name:
	.long _vt_lib_\lib, vt_name_\name, __imp__\name\()@\bytes
	.section .rdata$vtsys,"dr"
vt_name_\name:
	.asciz "\name"
	.text
	.globl _\name\()@\bytes
_\name\()@\bytes:
	jmp *__imp__\name\()@\bytes
vt_lazy_\name:
	pushl $vt_desc_\name
	jmp vt_lazy_common
	.endm

#define VT_ROW(Lib, Name, Bytes) vt_import Lib, Name, Bytes ;
VT_SYSTEM_FUNCTIONS(VT_ROW)
