// The reserved words of the assembler and the aliases of outside names that
// collide with them.
#include "backend_x64/assembler_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "core/memory_pools.h"

namespace {

// Every word the flat assembler refuses as a symbol, in lower case and in
// byte order: instructions and data directives, registers, size and
// address operators, and the operators of expressions. (Its preprocessor
// words, format names and section flags are symbols anywhere else.)
const char* const reserved_words[] = {
    "1to16", "1to2", "1to4", "1to8", "aaa", "aad", "aam", "aas", "adc", "adcx", "add", "addpd", "addps",
    "addsd", "addss", "addsubpd", "addsubps", "adox", "aesdec", "aesdeclast", "aesenc", "aesenclast",
    "aesimc", "aeskeygenassist", "ah", "al", "align", "and", "andn", "andnpd", "andnps", "andpd", "andps",
    "arpl", "as", "assert", "at", "ax", "bextr", "bh", "bl", "blcfill", "blci", "blcic", "blcmsk", "blcs",
    "blendpd", "blendps", "blendvpd", "blendvps", "blsfill", "blsi", "blsic", "blsmsk", "blsr", "bnd", "bnd0",
    "bnd1", "bnd2", "bnd3", "bndcl", "bndcn", "bndcu", "bndldx", "bndmk", "bndmov", "bndstx", "bound", "bp",
    "bpl", "break", "bsf", "bsr", "bswap", "bt", "btc", "btr", "bts", "bx", "byte", "bzhi", "call", "cbw",
    "cdq", "cdqe", "ch", "cl", "clac", "clc", "cld", "cldemote", "clflush", "clflushopt", "clgi", "cli",
    "clrssbsy", "clts", "clwb", "clzero", "cmc", "cmova", "cmovae", "cmovb", "cmovbe", "cmovc", "cmove",
    "cmovg", "cmovge", "cmovl", "cmovle", "cmovna", "cmovnae", "cmovnb", "cmovnbe", "cmovnc", "cmovne",
    "cmovng", "cmovnge", "cmovnl", "cmovnle", "cmovno", "cmovnp", "cmovns", "cmovnz", "cmovo", "cmovp",
    "cmovpe", "cmovpo", "cmovs", "cmovz", "cmp", "cmpeqpd", "cmpeqps", "cmpeqsd", "cmpeqss", "cmplepd",
    "cmpleps", "cmplesd", "cmpless", "cmpltpd", "cmpltps", "cmpltsd", "cmpltss", "cmpneqpd", "cmpneqps",
    "cmpneqsd", "cmpneqss", "cmpnlepd", "cmpnleps", "cmpnlesd", "cmpnless", "cmpnltpd", "cmpnltps",
    "cmpnltsd", "cmpnltss", "cmpordpd", "cmpordps", "cmpordsd", "cmpordss", "cmppd", "cmpps", "cmps", "cmpsb",
    "cmpsd", "cmpsq", "cmpss", "cmpsw", "cmpunordpd", "cmpunordps", "cmpunordsd", "cmpunordss", "cmpxchg",
    "cmpxchg16b", "cmpxchg8b", "comisd", "comiss", "cpuid", "cqo", "cr0", "cr1", "cr10", "cr11", "cr12",
    "cr13", "cr14", "cr15", "cr2", "cr3", "cr4", "cr5", "cr6", "cr7", "cr8", "cr9", "crc32", "cs", "cvtdq2pd",
    "cvtdq2ps", "cvtpd2dq", "cvtpd2pi", "cvtpd2ps", "cvtpi2pd", "cvtpi2ps", "cvtps2dq", "cvtps2pd",
    "cvtps2pi", "cvtsd2si", "cvtsd2ss", "cvtsi2sd", "cvtsi2ss", "cvtss2sd", "cvtss2si", "cvttpd2dq",
    "cvttpd2pi", "cvttps2dq", "cvttps2pi", "cvttsd2si", "cvttss2si", "cwd", "cwde", "cx", "daa", "das",
    "data", "dec", "defined", "definite", "dh", "di", "dil", "display", "div", "divpd", "divps", "divsd",
    "divss", "dl", "dppd", "dpps", "dqqword", "dqword", "dr0", "dr1", "dr10", "dr11", "dr12", "dr13", "dr14",
    "dr15", "dr2", "dr3", "dr4", "dr5", "dr6", "dr7", "dr8", "dr9", "ds", "dup", "dword", "dx", "eax", "ebp",
    "ebx", "ecx", "edi", "edx", "eip", "else", "emms", "end", "endbr32", "endbr64", "enter", "entry", "eq",
    "eqtype", "err", "es", "esi", "esp", "extractps", "extrn", "extrq", "f2xm1", "fabs", "fadd", "faddp",
    "far", "fbld", "fbstp", "fchs", "fclex", "fcmovb", "fcmovbe", "fcmove", "fcmovnb", "fcmovnbe", "fcmovne",
    "fcmovnu", "fcmovu", "fcom", "fcomi", "fcomip", "fcomp", "fcompp", "fcos", "fdecstp", "fdisi", "fdiv",
    "fdivp", "fdivr", "fdivrp", "femms", "feni", "ffree", "ffreep", "fiadd", "ficom", "ficomp", "fidiv",
    "fidivr", "fild", "file", "fimul", "fincstp", "finit", "fist", "fistp", "fisttp", "fisub", "fisubr",
    "fld", "fld1", "fldcw", "fldenv", "fldenvd", "fldenvw", "fldl2e", "fldl2t", "fldlg2", "fldln2", "fldpi",
    "fldz", "fmul", "fmulp", "fnclex", "fndisi", "fneni", "fninit", "fnop", "fnsave", "fnsaved", "fnsavew",
    "fnstcw", "fnstenv", "fnstenvd", "fnstenvw", "fnstsw", "format", "fpatan", "fprem", "fprem1", "fptan",
    "frndint", "from", "frstor", "frstord", "frstorw", "frstpm", "fs", "fsave", "fsaved", "fsavew", "fscale",
    "fsetpm", "fsin", "fsincos", "fsqrt", "fst", "fstcw", "fstenv", "fstenvd", "fstenvw", "fstp", "fstsw",
    "fsub", "fsubp", "fsubr", "fsubrp", "ftst", "fucom", "fucomi", "fucomip", "fucomp", "fucompp", "fwait",
    "fword", "fxam", "fxch", "fxrstor", "fxrstor64", "fxsave", "fxsave64", "fxtract", "fyl2x", "fyl2xp1",
    "getsec", "gf2p8affineinvqb", "gf2p8affineqb", "gf2p8mulb", "gs", "haddpd", "haddps", "heap", "hlt",
    "hsubpd", "hsubps", "icebp", "idiv", "if", "imul", "in", "inc", "incsspd", "incsspq", "ins", "insb",
    "insd", "insertps", "insertq", "insw", "int", "int1", "int3", "into", "invd", "invept", "invlpg",
    "invlpga", "invlpgb", "invpcid", "invvpid", "iret", "iretd", "iretq", "iretw", "ja", "jae", "jb", "jbe",
    "jc", "jcxz", "je", "jecxz", "jg", "jge", "jl", "jle", "jmp", "jna", "jnae", "jnb", "jnbe", "jnc", "jne",
    "jng", "jnge", "jnl", "jnle", "jno", "jnp", "jns", "jnz", "jo", "jp", "jpe", "jpo", "jrcxz", "js", "jz",
    "k0", "k1", "k2", "k3", "k4", "k5", "k6", "k7", "kaddb", "kaddd", "kaddq", "kaddw", "kandb", "kandd",
    "kandnb", "kandnd", "kandnq", "kandnw", "kandq", "kandw", "kmovb", "kmovd", "kmovq", "kmovw", "knotb",
    "knotd", "knotq", "knotw", "korb", "kord", "korq", "kortestb", "kortestd", "kortestq", "kortestw", "korw",
    "kshiftlb", "kshiftld", "kshiftlq", "kshiftlw", "kshiftrb", "kshiftrd", "kshiftrq", "kshiftrw", "ktestb",
    "ktestd", "ktestq", "ktestw", "kunpckbw", "kunpckdq", "kunpckwd", "kxnorb", "kxnord", "kxnorq", "kxnorw",
    "kxorb", "kxord", "kxorq", "kxorw", "label", "lahf", "lar", "lddqu", "ldmxcsr", "lds", "lea", "leave",
    "les", "lfence", "lfs", "lgdt", "lgs", "lidt", "lldt", "llwpcb", "lmsw", "load", "loadall286",
    "loadall386", "lock", "lods", "lodsb", "lodsd", "lodsq", "lodsw", "loop", "loopd", "loope", "looped",
    "loopeq", "loopew", "loopne", "loopned", "loopneq", "loopnew", "loopnz", "loopnzd", "loopnzq", "loopnzw",
    "loopq", "loopw", "loopz", "loopzd", "loopzq", "loopzw", "lsl", "lss", "ltr", "lwpins", "lwpval", "lzcnt",
    "maskmovdqu", "maskmovq", "maxpd", "maxps", "maxsd", "maxss", "mcommit", "mfence", "minpd", "minps",
    "minsd", "minss", "mm0", "mm1", "mm2", "mm3", "mm4", "mm5", "mm6", "mm7", "mod", "monitor", "monitorx",
    "mov", "movapd", "movaps", "movbe", "movd", "movddup", "movdir64b", "movdiri", "movdq2q", "movdqa",
    "movdqu", "movhlps", "movhpd", "movhps", "movlhps", "movlpd", "movlps", "movmskpd", "movmskps", "movntdq",
    "movntdqa", "movnti", "movntpd", "movntps", "movntq", "movntsd", "movntss", "movq", "movq2dq", "movs",
    "movsb", "movsd", "movshdup", "movsldup", "movsq", "movss", "movsw", "movsx", "movsxd", "movupd",
    "movups", "movzx", "mpsadbw", "mul", "mulpd", "mulps", "mulsd", "mulss", "mulx", "mwait", "mwaitx",
    "near", "neg", "nop", "not", "on", "or", "org", "orpd", "orps", "out", "outs", "outsb", "outsd", "outsw",
    "pabsb", "pabsd", "pabsw", "packssdw", "packsswb", "packusdw", "packuswb", "paddb", "paddd", "paddq",
    "paddsb", "paddsw", "paddusb", "paddusw", "paddw", "palignr", "pand", "pandn", "pause", "pavgb",
    "pavgusb", "pavgw", "pblendvb", "pblendw", "pclmulhqhdq", "pclmulhqhqdq", "pclmulhqlqdq", "pclmullqhdq",
    "pclmullqhqdq", "pclmullqlqdq", "pclmulqdq", "pcmpeqb", "pcmpeqd", "pcmpeqq", "pcmpeqw", "pcmpestri",
    "pcmpestrm", "pcmpgtb", "pcmpgtd", "pcmpgtq", "pcmpgtw", "pcmpistri", "pcmpistrm", "pcommit", "pconfig",
    "pdep", "pext", "pextrb", "pextrd", "pextrq", "pextrw", "pf2id", "pf2iw", "pfacc", "pfadd", "pfcmpeq",
    "pfcmpge", "pfcmpgt", "pfmax", "pfmin", "pfmul", "pfnacc", "pfpnacc", "pfrcp", "pfrcpit1", "pfrcpit2",
    "pfrsqit1", "pfrsqrt", "pfsub", "pfsubr", "phaddd", "phaddsw", "phaddw", "phminposuw", "phsubd",
    "phsubsw", "phsubw", "pi2fd", "pi2fw", "pinsrb", "pinsrd", "pinsrq", "pinsrw", "plt", "pmaddubsw",
    "pmaddwd", "pmaxsb", "pmaxsd", "pmaxsw", "pmaxub", "pmaxud", "pmaxuw", "pminsb", "pminsd", "pminsw",
    "pminub", "pminud", "pminuw", "pmovmskb", "pmovsxbd", "pmovsxbq", "pmovsxbw", "pmovsxdq", "pmovsxwd",
    "pmovsxwq", "pmovzxbd", "pmovzxbq", "pmovzxbw", "pmovzxdq", "pmovzxwd", "pmovzxwq", "pmuldq", "pmulhrsw",
    "pmulhrw", "pmulhuw", "pmulhw", "pmulld", "pmullw", "pmuludq", "pop", "popa", "popad", "popaw", "popcnt",
    "popd", "popf", "popfd", "popfq", "popfw", "popq", "popw", "por", "prefetch", "prefetchnta", "prefetcht0",
    "prefetcht1", "prefetcht2", "prefetchw", "prefetchwt1", "psadbw", "pshufb", "pshufd", "pshufhw",
    "pshuflw", "pshufw", "psignb", "psignd", "psignw", "pslld", "pslldq", "psllq", "psllw", "psmash", "psrad",
    "psraw", "psrld", "psrldq", "psrlq", "psrlw", "psubb", "psubd", "psubq", "psubsb", "psubsw", "psubusb",
    "psubusw", "psubw", "pswapd", "ptest", "ptr", "ptwrite", "public", "punpckhbw", "punpckhdq", "punpckhqdq",
    "punpckhwd", "punpcklbw", "punpckldq", "punpcklqdq", "punpcklwd", "push", "pusha", "pushad", "pushaw",
    "pushd", "pushf", "pushfd", "pushfq", "pushfw", "pushq", "pushw", "pvalidate", "pword", "pxor", "qqword",
    "qword", "r10", "r10b", "r10d", "r10l", "r10w", "r11", "r11b", "r11d", "r11l", "r11w", "r12", "r12b",
    "r12d", "r12l", "r12w", "r13", "r13b", "r13d", "r13l", "r13w", "r14", "r14b", "r14d", "r14l", "r14w",
    "r15", "r15b", "r15d", "r15l", "r15w", "r8", "r8b", "r8d", "r8l", "r8w", "r9", "r9b", "r9d", "r9l", "r9w",
    "rax", "rbp", "rbx", "rcl", "rcpps", "rcpss", "rcr", "rcx", "rd", "rdfsbase", "rdgsbase", "rdi", "rdmsr",
    "rdmsrq", "rdpid", "rdpkru", "rdpmc", "rdpru", "rdrand", "rdseed", "rdsspd", "rdsspq", "rdtsc", "rdtscp",
    "rdx", "relativeto", "rep", "repe", "repeat", "repne", "repnz", "repz", "ret", "retd", "retf", "retfd",
    "retfq", "retfw", "retn", "retnd", "retnq", "retnw", "retq", "retw", "rip", "rmpadjust", "rmpupdate",
    "rol", "ror", "rorx", "roundpd", "roundps", "roundsd", "roundss", "rsi", "rsm", "rsp", "rsqrtps",
    "rsqrtss", "rstorssp", "rva", "sahf", "sal", "salc", "sar", "sarx", "saveprevssp", "sbb", "scas", "scasb",
    "scasd", "scasq", "scasw", "section", "segment", "seta", "setae", "setalc", "setb", "setbe", "setc",
    "sete", "setg", "setge", "setl", "setle", "setna", "setnae", "setnb", "setnbe", "setnc", "setne", "setng",
    "setnge", "setnl", "setnle", "setno", "setnp", "setns", "setnz", "seto", "setp", "setpe", "setpo", "sets",
    "setssbsy", "setz", "sfence", "sgdt", "sha1msg1", "sha1msg2", "sha1nexte", "sha1rnds4", "sha256msg1",
    "sha256msg2", "sha256rnds2", "shl", "shld", "shlx", "short", "shr", "shrd", "shrx", "shufpd", "shufps",
    "si", "sidt", "sil", "skinit", "sldt", "slwpcb", "smsw", "sp", "spl", "sqrtpd", "sqrtps", "sqrtsd",
    "sqrtss", "ss", "st", "st0", "st1", "st2", "st3", "st4", "st5", "st6", "st7", "stac", "stack", "stc",
    "std", "stgi", "sti", "stmxcsr", "store", "stos", "stosb", "stosd", "stosq", "stosw", "str", "sub",
    "subpd", "subps", "subsd", "subss", "swapgs", "syscall", "sysenter", "sysexit", "sysexitq", "sysret",
    "sysretq", "t1mskc", "tbyte", "test", "times", "tlbsync", "tpause", "tr0", "tr1", "tr2", "tr3", "tr4",
    "tr5", "tr6", "tr7", "tword", "tzcnt", "tzmsk", "ucomisd", "ucomiss", "ud0", "ud1", "ud2", "umonitor",
    "umwait", "unpckhpd", "unpckhps", "unpcklpd", "unpcklps", "use16", "use32", "use64", "useavx256",
    "useavx512", "used", "vaddpd", "vaddps", "vaddsd", "vaddss", "vaddsubpd", "vaddsubps", "vaesdec",
    "vaesdeclast", "vaesenc", "vaesenclast", "vaesimc", "vaeskeygenassist", "valignd", "valignq", "vandnpd",
    "vandnps", "vandpd", "vandps", "vblendmpd", "vblendmps", "vblendpd", "vblendps", "vblendvpd", "vblendvps",
    "vbroadcastf128", "vbroadcastf32x2", "vbroadcastf32x4", "vbroadcastf32x8", "vbroadcastf64x2",
    "vbroadcastf64x4", "vbroadcasti128", "vbroadcasti32x2", "vbroadcasti32x4", "vbroadcasti32x8",
    "vbroadcasti64x2", "vbroadcasti64x4", "vbroadcastsd", "vbroadcastss", "vcmpeq_ospd", "vcmpeq_osps",
    "vcmpeq_ossd", "vcmpeq_osss", "vcmpeq_uqpd", "vcmpeq_uqps", "vcmpeq_uqsd", "vcmpeq_uqss", "vcmpeq_uspd",
    "vcmpeq_usps", "vcmpeq_ussd", "vcmpeq_usss", "vcmpeqpd", "vcmpeqps", "vcmpeqsd", "vcmpeqss",
    "vcmpfalse_ospd", "vcmpfalse_osps", "vcmpfalse_ossd", "vcmpfalse_osss", "vcmpfalsepd", "vcmpfalseps",
    "vcmpfalsesd", "vcmpfalsess", "vcmpge_oqpd", "vcmpge_oqps", "vcmpge_oqsd", "vcmpge_oqss", "vcmpgepd",
    "vcmpgeps", "vcmpgesd", "vcmpgess", "vcmpgt_oqpd", "vcmpgt_oqps", "vcmpgt_oqsd", "vcmpgt_oqss",
    "vcmpgtpd", "vcmpgtps", "vcmpgtsd", "vcmpgtss", "vcmple_oqpd", "vcmple_oqps", "vcmple_oqsd",
    "vcmple_oqss", "vcmplepd", "vcmpleps", "vcmplesd", "vcmpless", "vcmplt_oqpd", "vcmplt_oqps",
    "vcmplt_oqsd", "vcmplt_oqss", "vcmpltpd", "vcmpltps", "vcmpltsd", "vcmpltss", "vcmpneq_oqpd",
    "vcmpneq_oqps", "vcmpneq_oqsd", "vcmpneq_oqss", "vcmpneq_ospd", "vcmpneq_osps", "vcmpneq_ossd",
    "vcmpneq_osss", "vcmpneq_uspd", "vcmpneq_usps", "vcmpneq_ussd", "vcmpneq_usss", "vcmpneqpd", "vcmpneqps",
    "vcmpneqsd", "vcmpneqss", "vcmpnge_uqpd", "vcmpnge_uqps", "vcmpnge_uqsd", "vcmpnge_uqss", "vcmpngepd",
    "vcmpngeps", "vcmpngesd", "vcmpngess", "vcmpngt_uqpd", "vcmpngt_uqps", "vcmpngt_uqsd", "vcmpngt_uqss",
    "vcmpngtpd", "vcmpngtps", "vcmpngtsd", "vcmpngtss", "vcmpnle_uqpd", "vcmpnle_uqps", "vcmpnle_uqsd",
    "vcmpnle_uqss", "vcmpnlepd", "vcmpnleps", "vcmpnlesd", "vcmpnless", "vcmpnlt_uqpd", "vcmpnlt_uqps",
    "vcmpnlt_uqsd", "vcmpnlt_uqss", "vcmpnltpd", "vcmpnltps", "vcmpnltsd", "vcmpnltss", "vcmpord_spd",
    "vcmpord_sps", "vcmpord_ssd", "vcmpord_sss", "vcmpordpd", "vcmpordps", "vcmpordsd", "vcmpordss", "vcmppd",
    "vcmpps", "vcmpsd", "vcmpss", "vcmptrue_uspd", "vcmptrue_usps", "vcmptrue_ussd", "vcmptrue_usss",
    "vcmptruepd", "vcmptrueps", "vcmptruesd", "vcmptruess", "vcmpunord_spd", "vcmpunord_sps", "vcmpunord_ssd",
    "vcmpunord_sss", "vcmpunordpd", "vcmpunordps", "vcmpunordsd", "vcmpunordss", "vcomisd", "vcomiss",
    "vcompresspd", "vcompressps", "vcvtdq2pd", "vcvtdq2ps", "vcvtpd2dq", "vcvtpd2ps", "vcvtpd2qq",
    "vcvtpd2udq", "vcvtpd2uqq", "vcvtph2ps", "vcvtps2dq", "vcvtps2pd", "vcvtps2ph", "vcvtps2qq", "vcvtps2udq",
    "vcvtps2uqq", "vcvtqq2pd", "vcvtqq2ps", "vcvtsd2si", "vcvtsd2ss", "vcvtsd2usi", "vcvtsi2sd", "vcvtsi2ss",
    "vcvtss2sd", "vcvtss2si", "vcvtss2usi", "vcvttpd2dq", "vcvttpd2qq", "vcvttpd2udq", "vcvttpd2uqq",
    "vcvttps2dq", "vcvttps2qq", "vcvttps2udq", "vcvttps2uqq", "vcvttsd2si", "vcvttsd2usi", "vcvttss2si",
    "vcvttss2usi", "vcvtudq2pd", "vcvtudq2ps", "vcvtuqq2pd", "vcvtuqq2ps", "vcvtusi2sd", "vcvtusi2ss",
    "vdbpsadbw", "vdivpd", "vdivps", "vdivsd", "vdivss", "vdppd", "vdpps", "verr", "verw", "vexp2pd",
    "vexp2ps", "vexpandpd", "vexpandps", "vextractf128", "vextractf32x4", "vextractf32x8", "vextractf64x2",
    "vextractf64x4", "vextracti128", "vextracti32x4", "vextracti32x8", "vextracti64x2", "vextracti64x4",
    "vextractps", "vfixupimmpd", "vfixupimmps", "vfixupimmsd", "vfixupimmss", "vfmadd132pd", "vfmadd132ps",
    "vfmadd132sd", "vfmadd132ss", "vfmadd213pd", "vfmadd213ps", "vfmadd213sd", "vfmadd213ss", "vfmadd231pd",
    "vfmadd231ps", "vfmadd231sd", "vfmadd231ss", "vfmaddpd", "vfmaddps", "vfmaddsd", "vfmaddss",
    "vfmaddsub132pd", "vfmaddsub132ps", "vfmaddsub213pd", "vfmaddsub213ps", "vfmaddsub231pd",
    "vfmaddsub231ps", "vfmaddsubpd", "vfmaddsubps", "vfmsub132pd", "vfmsub132ps", "vfmsub132sd",
    "vfmsub132ss", "vfmsub213pd", "vfmsub213ps", "vfmsub213sd", "vfmsub213ss", "vfmsub231pd", "vfmsub231ps",
    "vfmsub231sd", "vfmsub231ss", "vfmsubadd132pd", "vfmsubadd132ps", "vfmsubadd213pd", "vfmsubadd213ps",
    "vfmsubadd231pd", "vfmsubadd231ps", "vfmsubaddpd", "vfmsubaddps", "vfmsubpd", "vfmsubps", "vfmsubsd",
    "vfmsubss", "vfnmadd132pd", "vfnmadd132ps", "vfnmadd132sd", "vfnmadd132ss", "vfnmadd213pd",
    "vfnmadd213ps", "vfnmadd213sd", "vfnmadd213ss", "vfnmadd231pd", "vfnmadd231ps", "vfnmadd231sd",
    "vfnmadd231ss", "vfnmaddpd", "vfnmaddps", "vfnmaddsd", "vfnmaddss", "vfnmsub132pd", "vfnmsub132ps",
    "vfnmsub132sd", "vfnmsub132ss", "vfnmsub213pd", "vfnmsub213ps", "vfnmsub213sd", "vfnmsub213ss",
    "vfnmsub231pd", "vfnmsub231ps", "vfnmsub231sd", "vfnmsub231ss", "vfnmsubpd", "vfnmsubps", "vfnmsubsd",
    "vfnmsubss", "vfpclasspd", "vfpclassps", "vfpclasssd", "vfpclassss", "vfrczpd", "vfrczps", "vfrczsd",
    "vfrczss", "vgatherdpd", "vgatherdps", "vgatherpf0dpd", "vgatherpf0dps", "vgatherpf0qpd", "vgatherpf0qps",
    "vgatherpf1dpd", "vgatherpf1dps", "vgatherpf1qpd", "vgatherpf1qps", "vgatherqpd", "vgatherqps",
    "vgetexppd", "vgetexpps", "vgetexpsd", "vgetexpss", "vgetmantpd", "vgetmantps", "vgetmantsd",
    "vgetmantss", "vgf2p8affineinvqb", "vgf2p8affineqb", "vgf2p8mulb", "vhaddpd", "vhaddps", "vhsubpd",
    "vhsubps", "vinsertf128", "vinsertf32x4", "vinsertf32x8", "vinsertf64x2", "vinsertf64x4", "vinserti128",
    "vinserti32x4", "vinserti32x8", "vinserti64x2", "vinserti64x4", "vinsertps", "virtual", "vlddqu",
    "vldmxcsr", "vmaskmovdqu", "vmaskmovpd", "vmaskmovps", "vmaxpd", "vmaxps", "vmaxsd", "vmaxss", "vmcall",
    "vmclear", "vmfunc", "vminpd", "vminps", "vminsd", "vminss", "vmlaunch", "vmload", "vmmcall", "vmovapd",
    "vmovaps", "vmovd", "vmovddup", "vmovdqa", "vmovdqa32", "vmovdqa64", "vmovdqu", "vmovdqu16", "vmovdqu32",
    "vmovdqu64", "vmovdqu8", "vmovhlps", "vmovhpd", "vmovhps", "vmovlhps", "vmovlpd", "vmovlps", "vmovmskpd",
    "vmovmskps", "vmovntdq", "vmovntdqa", "vmovntpd", "vmovntps", "vmovq", "vmovsd", "vmovshdup", "vmovsldup",
    "vmovss", "vmovupd", "vmovups", "vmpsadbw", "vmptrld", "vmptrst", "vmread", "vmresume", "vmrun", "vmsave",
    "vmulpd", "vmulps", "vmulsd", "vmulss", "vmwrite", "vmxoff", "vmxon", "vorpd", "vorps", "vp4dpwssd",
    "vp4dpwssds", "vpabsb", "vpabsd", "vpabsq", "vpabsw", "vpackssdw", "vpacksswb", "vpackusdw", "vpackuswb",
    "vpaddb", "vpaddd", "vpaddq", "vpaddsb", "vpaddsw", "vpaddusb", "vpaddusw", "vpaddw", "vpalignr", "vpand",
    "vpandd", "vpandn", "vpandnd", "vpandnq", "vpandq", "vpavgb", "vpavgw", "vpblendd", "vpblendmb",
    "vpblendmd", "vpblendmq", "vpblendmw", "vpblendvb", "vpblendw", "vpbroadcastb", "vpbroadcastd",
    "vpbroadcastmb2q", "vpbroadcastmw2d", "vpbroadcastq", "vpbroadcastw", "vpclmulhqhdq", "vpclmulhqlqdq",
    "vpclmullqhdq", "vpclmullqlqdq", "vpclmulqdq", "vpcmov", "vpcmpb", "vpcmpd", "vpcmpeqb", "vpcmpeqd",
    "vpcmpeqq", "vpcmpeqw", "vpcmpestri", "vpcmpestrm", "vpcmpgtb", "vpcmpgtd", "vpcmpgtq", "vpcmpgtw",
    "vpcmpistri", "vpcmpistrm", "vpcmpleb", "vpcmpled", "vpcmpleq", "vpcmpleub", "vpcmpleud", "vpcmpleuq",
    "vpcmpleuw", "vpcmplew", "vpcmpltb", "vpcmpltd", "vpcmpltq", "vpcmpltub", "vpcmpltud", "vpcmpltuq",
    "vpcmpltuw", "vpcmpltw", "vpcmpneqb", "vpcmpneqd", "vpcmpneqq", "vpcmpnequb", "vpcmpnequd", "vpcmpnequq",
    "vpcmpnequw", "vpcmpneqw", "vpcmpnleb", "vpcmpnled", "vpcmpnleq", "vpcmpnleub", "vpcmpnleud",
    "vpcmpnleuq", "vpcmpnleuw", "vpcmpnlew", "vpcmpnltb", "vpcmpnltd", "vpcmpnltq", "vpcmpnltub",
    "vpcmpnltud", "vpcmpnltuq", "vpcmpnltuw", "vpcmpnltw", "vpcmpq", "vpcmpub", "vpcmpud", "vpcmpuq",
    "vpcmpuw", "vpcmpw", "vpcomb", "vpcomd", "vpcomeqb", "vpcomeqd", "vpcomeqq", "vpcomequb", "vpcomequd",
    "vpcomequq", "vpcomequw", "vpcomeqw", "vpcomfalseb", "vpcomfalsed", "vpcomfalseq", "vpcomfalseub",
    "vpcomfalseud", "vpcomfalseuq", "vpcomfalseuw", "vpcomfalsew", "vpcomgeb", "vpcomged", "vpcomgeq",
    "vpcomgeub", "vpcomgeud", "vpcomgeuq", "vpcomgeuw", "vpcomgew", "vpcomgtb", "vpcomgtd", "vpcomgtq",
    "vpcomgtub", "vpcomgtud", "vpcomgtuq", "vpcomgtuw", "vpcomgtw", "vpcomleb", "vpcomled", "vpcomleq",
    "vpcomleub", "vpcomleud", "vpcomleuq", "vpcomleuw", "vpcomlew", "vpcomltb", "vpcomltd", "vpcomltq",
    "vpcomltub", "vpcomltud", "vpcomltuq", "vpcomltuw", "vpcomltw", "vpcomneqb", "vpcomneqd", "vpcomneqq",
    "vpcomnequb", "vpcomnequd", "vpcomnequq", "vpcomnequw", "vpcomneqw", "vpcompressb", "vpcompressd",
    "vpcompressq", "vpcompressw", "vpcomq", "vpcomtrueb", "vpcomtrued", "vpcomtrueq", "vpcomtrueub",
    "vpcomtrueud", "vpcomtrueuq", "vpcomtrueuw", "vpcomtruew", "vpcomub", "vpcomud", "vpcomuq", "vpcomuw",
    "vpcomw", "vpconflictd", "vpconflictq", "vpdpbusd", "vpdpbusds", "vpdpwssd", "vpdpwssds", "vperm2f128",
    "vperm2i128", "vpermb", "vpermd", "vpermi2b", "vpermi2d", "vpermi2pd", "vpermi2ps", "vpermi2q",
    "vpermi2w", "vpermil2pd", "vpermil2ps", "vpermilmo2pd", "vpermilmo2ps", "vpermilmz2pd", "vpermilmz2ps",
    "vpermilpd", "vpermilps", "vpermiltd2pd", "vpermiltd2ps", "vpermpd", "vpermps", "vpermq", "vpermt2b",
    "vpermt2d", "vpermt2pd", "vpermt2ps", "vpermt2q", "vpermt2w", "vpermw", "vpexpandb", "vpexpandd",
    "vpexpandq", "vpexpandw", "vpextrb", "vpextrd", "vpextrq", "vpextrw", "vpgatherdd", "vpgatherdq",
    "vpgatherqd", "vpgatherqq", "vphaddbd", "vphaddbq", "vphaddbw", "vphaddd", "vphadddq", "vphaddsw",
    "vphaddubd", "vphaddubq", "vphaddubw", "vphaddudq", "vphadduwd", "vphadduwq", "vphaddw", "vphaddwd",
    "vphaddwq", "vphminposuw", "vphsubbw", "vphsubd", "vphsubdq", "vphsubsw", "vphsubw", "vphsubwd",
    "vpinsrb", "vpinsrd", "vpinsrq", "vpinsrw", "vplzcntd", "vplzcntq", "vpmacsdd", "vpmacsdqh", "vpmacsdql",
    "vpmacssdd", "vpmacssdqh", "vpmacssdql", "vpmacsswd", "vpmacssww", "vpmacswd", "vpmacsww", "vpmadcsswd",
    "vpmadcswd", "vpmadd52huq", "vpmadd52luq", "vpmaddubsw", "vpmaddwd", "vpmaskmovd", "vpmaskmovq",
    "vpmaxsb", "vpmaxsd", "vpmaxsq", "vpmaxsw", "vpmaxub", "vpmaxud", "vpmaxuq", "vpmaxuw", "vpminsb",
    "vpminsd", "vpminsq", "vpminsw", "vpminub", "vpminud", "vpminuq", "vpminuw", "vpmovb2m", "vpmovd2m",
    "vpmovdb", "vpmovdw", "vpmovm2b", "vpmovm2d", "vpmovm2q", "vpmovm2w", "vpmovmskb", "vpmovq2m", "vpmovqb",
    "vpmovqd", "vpmovqw", "vpmovsdb", "vpmovsdw", "vpmovsqb", "vpmovsqd", "vpmovsqw", "vpmovswb", "vpmovsxbd",
    "vpmovsxbq", "vpmovsxbw", "vpmovsxdq", "vpmovsxwd", "vpmovsxwq", "vpmovusdb", "vpmovusdw", "vpmovusqb",
    "vpmovusqd", "vpmovusqw", "vpmovuswb", "vpmovw2m", "vpmovwb", "vpmovzxbd", "vpmovzxbq", "vpmovzxbw",
    "vpmovzxdq", "vpmovzxwd", "vpmovzxwq", "vpmuldq", "vpmulhrsw", "vpmulhuw", "vpmulhw", "vpmulld",
    "vpmullq", "vpmullw", "vpmultishiftqb", "vpmuludq", "vpopcntb", "vpopcntd", "vpopcntq", "vpopcntw",
    "vpor", "vpord", "vporq", "vpperm", "vprold", "vprolq", "vprolvd", "vprolvq", "vprord", "vprorq",
    "vprorvd", "vprorvq", "vprotb", "vprotd", "vprotq", "vprotw", "vpsadbw", "vpscatterdd", "vpscatterdq",
    "vpscatterqd", "vpscatterqq", "vpshab", "vpshad", "vpshaq", "vpshaw", "vpshlb", "vpshld", "vpshldd",
    "vpshldq", "vpshldvd", "vpshldvq", "vpshldvw", "vpshldw", "vpshlq", "vpshlw", "vpshrdd", "vpshrdq",
    "vpshrdvd", "vpshrdvq", "vpshrdvw", "vpshrdw", "vpshufb", "vpshufbitqmb", "vpshufd", "vpshufhw",
    "vpshuflw", "vpsignb", "vpsignd", "vpsignw", "vpslld", "vpslldq", "vpsllq", "vpsllvd", "vpsllvq",
    "vpsllvw", "vpsllw", "vpsrad", "vpsraq", "vpsravd", "vpsravq", "vpsravw", "vpsraw", "vpsrld", "vpsrldq",
    "vpsrlq", "vpsrlvd", "vpsrlvq", "vpsrlvw", "vpsrlw", "vpsubb", "vpsubd", "vpsubq", "vpsubsb", "vpsubsw",
    "vpsubusb", "vpsubusw", "vpsubw", "vpternlogd", "vpternlogq", "vptest", "vptestmb", "vptestmd",
    "vptestmq", "vptestmw", "vptestnmb", "vptestnmd", "vptestnmq", "vptestnmw", "vpunpckhbw", "vpunpckhdq",
    "vpunpckhqdq", "vpunpckhwd", "vpunpcklbw", "vpunpckldq", "vpunpcklqdq", "vpunpcklwd", "vpxor", "vpxord",
    "vpxorq", "vrangepd", "vrangeps", "vrangesd", "vrangess", "vrcp14pd", "vrcp14ps", "vrcp14sd", "vrcp14ss",
    "vrcp28pd", "vrcp28ps", "vrcp28sd", "vrcp28ss", "vrcpps", "vrcpss", "vreducepd", "vreduceps", "vreducesd",
    "vreducess", "vrndscalepd", "vrndscaleps", "vrndscalesd", "vrndscaless", "vroundpd", "vroundps",
    "vroundsd", "vroundss", "vrsqrt14pd", "vrsqrt14ps", "vrsqrt14sd", "vrsqrt14ss", "vrsqrt28pd",
    "vrsqrt28ps", "vrsqrt28sd", "vrsqrt28ss", "vrsqrtps", "vrsqrtss", "vscalefpd", "vscalefps", "vscalefsd",
    "vscalefss", "vscatterdpd", "vscatterdps", "vscatterpf0dpd", "vscatterpf0dps", "vscatterpf0qpd",
    "vscatterpf0qps", "vscatterpf1dpd", "vscatterpf1dps", "vscatterpf1qpd", "vscatterpf1qps", "vscatterqpd",
    "vscatterqps", "vshuff32x4", "vshuff64x2", "vshufi32x4", "vshufi64x2", "vshufpd", "vshufps", "vsqrtpd",
    "vsqrtps", "vsqrtsd", "vsqrtss", "vstmxcsr", "vsubpd", "vsubps", "vsubsd", "vsubss", "vtestpd", "vtestps",
    "vucomisd", "vucomiss", "vunpckhpd", "vunpckhps", "vunpcklpd", "vunpcklps", "vxorpd", "vxorps",
    "vzeroall", "vzeroupper", "wait", "wbinvd", "wbnoinvd", "while", "word", "wrfsbase", "wrgsbase", "wrmsr",
    "wrmsrq", "wrpkru", "wrssd", "wrssq", "wrussd", "wrussq", "xabort", "xacquire", "xadd", "xbegin", "xchg",
    "xend", "xgetbv", "xlat", "xlatb", "xmm0", "xmm1", "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15",
    "xmm16", "xmm17", "xmm18", "xmm19", "xmm2", "xmm20", "xmm21", "xmm22", "xmm23", "xmm24", "xmm25", "xmm26",
    "xmm27", "xmm28", "xmm29", "xmm3", "xmm30", "xmm31", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9",
    "xor", "xorpd", "xorps", "xrelease", "xrstor", "xrstor64", "xrstors", "xrstors64", "xsave", "xsave64",
    "xsavec", "xsavec64", "xsaveopt", "xsaveopt64", "xsaves", "xsaves64", "xsetbv", "xtest", "xword", "ymm0",
    "ymm1", "ymm10", "ymm11", "ymm12", "ymm13", "ymm14", "ymm15", "ymm16", "ymm17", "ymm18", "ymm19", "ymm2",
    "ymm20", "ymm21", "ymm22", "ymm23", "ymm24", "ymm25", "ymm26", "ymm27", "ymm28", "ymm29", "ymm3", "ymm30",
    "ymm31", "ymm4", "ymm5", "ymm6", "ymm7", "ymm8", "ymm9", "yword", "zmm0", "zmm1", "zmm10", "zmm11",
    "zmm12", "zmm13", "zmm14", "zmm15", "zmm16", "zmm17", "zmm18", "zmm19", "zmm2", "zmm20", "zmm21", "zmm22",
    "zmm23", "zmm24", "zmm25", "zmm26", "zmm27", "zmm28", "zmm29", "zmm3", "zmm30", "zmm31", "zmm4", "zmm5",
    "zmm6", "zmm7", "zmm8", "zmm9", "zword",
};

constexpr const char* alias_prefix = "_ZD_Extern_";
// The length of the longest of them, "vgf2p8affineinvqb".
constexpr size_t longest_reserved_word = 17;

// Characters that end a name in the assembler's reading, or begin a text.
bool ends_a_name(unsigned char c)
{
    return c <= ' ' || std::strchr("+-/*=<>()[]{}:,|&~#`;\\", c) != nullptr;
}

// Names the assembler reads as its own symbols: anonymous labels, the
// current address, the time stamp, an undefined value.
bool is_special_symbol(const char* name)
{
    for (const char* special : {"?", "$", "$$", "%", "%t", "@@", "@b", "@f", "@r"})
        if (std::strcmp(name, special) == 0) return true;
    return false;
}

// Whether the link name can be written as it stands.
bool stands_as_written(const char* name)
{
    unsigned char first = static_cast<unsigned char>(name[0]);
    if (first == 0 || std::isdigit(first) || first == '$' || first == '\'' || first == '"') return false;
    for (const char* p = name; *p; ++p)
        if (ends_a_name(static_cast<unsigned char>(*p))) return false;
    return !is_special_symbol(name) && !is_assembler_reserved_word(name);
}

}  // namespace

bool is_assembler_reserved_word(const char* name)
{
    char lowered[longest_reserved_word + 1];
    size_t length = std::strlen(name);
    if (length == 0 || length > longest_reserved_word) return false;
    for (size_t i = 0; i <= length; ++i) lowered[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
    return std::binary_search(std::begin(reserved_words), std::end(reserved_words), lowered,
                              [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
}

const char* assembly_symbol(const char* link_name)
{
    if (stands_as_written(link_name)) return link_name;
    std::string alias = alias_prefix;
    for (const char* p = link_name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (std::isalnum(c) || c == '_') {
            alias += static_cast<char>(c);
        } else {
            char code[4];
            std::snprintf(code, sizeof code, "_%02X", c);
            alias += code;
        }
    }
    return pool_strndup(alias.data(), alias.size());
}

std::string extern_declaration(const char* link_name)
{
    const char* symbol = assembly_symbol(link_name);
    if (symbol == link_name) return std::string("extrn ") + link_name;
    // A quote inside the quoted name is written twice.
    std::string quoted = "'";
    for (const char* p = link_name; *p; ++p) {
        quoted += *p;
        if (*p == '\'') quoted += '\'';
    }
    return "extrn " + quoted + "' as " + symbol;
}
