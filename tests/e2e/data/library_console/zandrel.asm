; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written test program calling the commands of the Console library
; 
; The header must remain intact for Re-Assembly
; 
; Console
; :System
; kernel32
; :Import
; 
format MS64 COFF

extrn ExitProcess
extrn GetModuleHandleW
extrn HeapCreate
extrn HeapDestroy
extrn SYS_InitZandrel
extrn SYS_InitString
extrn SYS_FreeStrings
extrn ZD_OpenConsole
extrn ZD_Print
extrn ZD_PrintN
extrn ZD_CloseConsole
extrn memset

public main

section '.code' code readable executable align 8
main:
 SUB rsp,40
 LEA rcx,[I_BSSStart]
 XOR edx,edx
 MOV r8,I_BSSEnd-I_BSSStart
 CALL memset
 XOR ecx,ecx
 CALL GetModuleHandleW
 MOV [ZD_Instance],rax
 XOR ecx,ecx
 MOV edx,4096
 XOR r8d,r8d
 CALL HeapCreate
 MOV [ZD_MemoryBase],rax
 CALL SYS_InitZandrel
 CALL SYS_InitString
 CALL ZD_OpenConsole
 MOV [ZD_ExitCode],rax
 LEA rcx,[_S1]
 CALL ZD_Print
 LEA rcx,[_S2]
 CALL ZD_PrintN
 LEA rcx,[_S3]
 CALL ZD_PrintN
 CALL ZD_CloseConsole
 ADD qword [ZD_ExitCode],4
_ZD_EOP:
 CALL SYS_FreeStrings
 MOV rcx,[ZD_MemoryBase]
 CALL HeapDestroy
 MOV rcx,[ZD_ExitCode]
 CALL ExitProcess

section '.data' data readable writeable align 16
_S1: dw 76,105,98,114,97,114,121,32,0
_S2: dw 99,111,109,109,97,110,100,115,0
_S3: dw 71,114,252,223,101,32,8364,0

section '.bss' readable writeable align 16
I_BSSStart:
ZD_Instance: rq 1
ZD_MemoryBase: rq 1
ZD_ExitCode: rq 1
I_BSSEnd:
