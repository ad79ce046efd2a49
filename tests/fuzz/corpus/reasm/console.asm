; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written test program for the build by external tools
; 
; The header must remain intact for Re-Assembly
; 
; :System
; kernel32
; :Import
; 
format MS64 COFF

extrn ExitProcess
extrn GetStdHandle
extrn WriteFile
extrn GetModuleHandleW
extrn HeapCreate
extrn HeapDestroy
extrn SetCurrentDirectoryA
extrn SYS_InitZandrel
extrn SYS_InitString
extrn SYS_FreeStrings
extrn ZD_StringBase
extrn ZD_StringBasePosition
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
 MOV rax,[ZD_StringBase]
 MOV byte [rax],65
 MOV qword [ZD_StringBasePosition],1
 MOV rcx,-11
 CALL GetStdHandle
 MOV rcx,rax
 LEA rdx,[_S1]
 MOV r8d,_S1_End-_S1
 LEA r9,[ZD_Written]
 MOV qword [rsp+32],0
 CALL WriteFile
 MOV qword [ZD_ExitCode],42
_ZD_EOP:
 CALL SYS_FreeStrings
 MOV rcx,[ZD_MemoryBase]
 CALL HeapDestroy
 MOV rcx,[ZD_ExitCode]
 CALL ExitProcess

section '.data' data readable writeable align 16
_S1: db "Hello from Zandrel",13,10
_S1_End:

section '.bss' readable writeable align 16
I_BSSStart:
ZD_Instance: rq 1
ZD_MemoryBase: rq 1
ZD_ExitCode: rq 1
ZD_Written: rq 1
I_BSSEnd:
