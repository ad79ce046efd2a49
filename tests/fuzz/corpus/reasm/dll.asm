; 
; Zandrel 6.10 LTS (Windows - x64) generated code
; Hand-written test DLL
; 
; The header must remain intact for Re-Assembly
; 
; :DLL
; :System
; :Import
; 
format MS64 COFF

extrn SYS_InitZandrel
extrn SYS_CleanupThreadCallbacks

public DllMain
public AddNumbers
public Greeting

section '.code' code readable executable align 8
DllMain:
 SUB rsp,40
 CMP edx,1
 JNE _DLL_NotAttach
 CALL SYS_InitZandrel
_DLL_NotAttach:
 CMP edx,0
 JNE _DLL_Done
 CALL SYS_CleanupThreadCallbacks
_DLL_Done:
 MOV eax,1
 ADD rsp,40
 RET
AddNumbers:
 LEA rax,[rcx+rdx]
 RET
Greeting:
 LEA rax,[_S1]
 RET

section '.data' data readable writeable align 16
_S1: db "Hello from the DLL",13,10,0
