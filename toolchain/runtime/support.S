# Memory routines and the stack probe of generated programs (libcmt.lib).
# Microsoft x64 convention: arguments in rcx, rdx, r8, r9.
        .text

# void* memset(void* destination, int value, size_t size)
        .globl memset
memset:
        movq %rdi, %r9
        movq %rcx, %r10
        movq %rcx, %rdi
        movl %edx, %eax
        movq %r8, %rcx
        rep stosb
        movq %r9, %rdi
        movq %r10, %rax
        ret

# void* memcpy(void* destination, const void* source, size_t size)
        .globl memcpy
memcpy:
        movq %rdi, %r9
        movq %rsi, %r10
        movq %rcx, %rax
        movq %rcx, %rdi
        movq %rdx, %rsi
        movq %r8, %rcx
        rep movsb
        movq %r9, %rdi
        movq %r10, %rsi
        ret

# void* memmove(void* destination, const void* source, size_t size)
        .globl memmove
memmove:
        movq %rdi, %r9
        movq %rsi, %r10
        movq %rcx, %rax
        movq %rcx, %rdi
        movq %rdx, %rsi
        movq %r8, %rcx
        cmpq %rsi, %rdi
        jbe 1f
        leaq -1(%rsi,%rcx), %rsi
        leaq -1(%rdi,%rcx), %rdi
        std
        rep movsb
        cld
        jmp 2f
1:      rep movsb
2:      movq %r9, %rdi
        movq %r10, %rsi
        ret

# Stack probe: touches each page of a frame of rax bytes below rsp, top down,
# so the guard page grows the stack in order. Preserves every register.
        .globl __chkstk
        .globl ___chkstk_ms
__chkstk:
___chkstk_ms:
        pushq %rcx
        pushq %rax
        cmpq $0x1000, %rax
        leaq 24(%rsp), %rcx
        jb 2f
1:      subq $0x1000, %rcx
        orq $0, (%rcx)
        subq $0x1000, %rax
        cmpq $0x1000, %rax
        ja 1b
2:      subq %rax, %rcx
        orq $0, (%rcx)
        popq %rax
        popq %rcx
        ret
