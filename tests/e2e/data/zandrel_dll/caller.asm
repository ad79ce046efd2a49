; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written program that calls a DLL compiled from Zandrel source
; 
; The header must remain intact for Re-Assembly
; 
; :System
; kernel32
; :Import
; @DLL_LIBRARY@
; 
format MS64 COFF

extrn ExitProcess
extrn AddNumbers

public main

section '.code' code readable executable align 8
main:
 SUB rsp,40
 MOV ecx,30
 MOV edx,12
 CALL AddNumbers
 MOV rcx,rax
 CALL ExitProcess
