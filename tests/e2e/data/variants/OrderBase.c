/* The routines of the test library OrderBase. Every start and end routine
   of OrderBase and OrderUser notes its step, one decimal digit each:
   1 OrderBase's debugger start, 2 OrderBase's start, 3 OrderUser's start,
   4 OrderUser's end, 5 OrderBase's end. OrderBase's end routine, the last
   one, ends the program with its last two steps as the exit code. */
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

static long long order_steps;

void OrderBase_Note(int step) { order_steps = order_steps * 10 + step; }
long long OrderBase_Steps(void) { return order_steps; }

void ZD_InitOrderBase_DEBUG(void) { OrderBase_Note(1); }
void ZD_InitOrderBase(void) { OrderBase_Note(2); }
void ZD_EndOrderBase(void)
{
    OrderBase_Note(5);
    ExitProcess((unsigned int)(order_steps % 100));
}
