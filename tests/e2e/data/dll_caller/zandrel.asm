; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written program that calls the test DLL
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
extrn GetStdHandle
extrn WriteFile
extrn lstrlenA
extrn AddNumbers
extrn Greeting

public main

section '.code' code readable executable align 8
main:
 SUB rsp,56
 CALL Greeting
 MOV [P_Text],rax
 MOV rcx,rax
 CALL lstrlenA
 MOV [P_Length],rax
 MOV rcx,-11
 CALL GetStdHandle
 MOV rcx,rax
 MOV rdx,[P_Text]
 MOV r8,[P_Length]
 LEA r9,[P_Written]
 MOV qword [rsp+32],0
 CALL WriteFile
 MOV ecx,30
 MOV edx,12
 CALL AddNumbers
 MOV rcx,rax
 CALL ExitProcess

section '.bss' readable writeable align 16
P_Text: rq 1
P_Length: rq 1
P_Written: rq 1
