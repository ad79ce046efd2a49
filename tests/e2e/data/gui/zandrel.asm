; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written GUI-subsystem test program
; 
; The header must remain intact for Re-Assembly
; 
; :System
; :Import
; 
format MS64 COFF

extrn ExitProcess
extrn GetStdHandle
extrn WriteFile
extrn GetModuleHandleW
extrn HeapCreate
extrn HeapDestroy
extrn SYS_InitZandrel
extrn memset

public WinMain

section '.code' code readable executable align 8
WinMain:
 SUB rsp,40
 MOV [ZD_Instance],rcx
 LEA rcx,[I_BSSStart]
 XOR edx,edx
 MOV r8,I_BSSEnd-I_BSSStart
 CALL memset
 XOR ecx,ecx
 MOV edx,4096
 XOR r8d,r8d
 CALL HeapCreate
 MOV [ZD_MemoryBase],rax
 CALL SYS_InitZandrel
 FLD qword [F_Third]
 FMUL qword [F_Three]
 FISTP qword [ZD_ExitCode]
 MOV rcx,-11
 CALL GetStdHandle
 MOV rcx,rax
 LEA rdx,[_S1]
 MOV r8d,_S1_End-_S1
 LEA r9,[ZD_Written]
 MOV qword [rsp+32],0
 CALL WriteFile
 ADD qword [ZD_ExitCode],6
_ZD_EOP:
 MOV rcx,[ZD_MemoryBase]
 CALL HeapDestroy
 MOV rcx,[ZD_ExitCode]
 CALL ExitProcess

section '.data' data readable writeable align 16
_S1: db "GUI subsystem",13,10
_S1_End:
F_Third: dq 0.3333333333333333
F_Three: dq 3.0

section '.bss' readable writeable align 16
I_BSSStart:
ZD_Instance: rq 1
ZD_MemoryBase: rq 1
ZD_ExitCode: rq 1
ZD_Written: rq 1
I_BSSEnd:
