/* Runtime services every generated program calls (SystemBase.lib). */

/* Called after the program's heap exists and before any other
   initialisation; nothing needs setting up yet. */
void SYS_InitZandrel(void)
{
}

/* Called by a DLL when it is unloaded: no thread callbacks are registered. */
void SYS_CleanupThreadCallbacks(void)
{
}

/* A parallel job: `stub` is the program's entry of the procedure, which
   takes its arguments from the block at `arguments` (`count` of them; `map`
   describes them). The job runs at once on the calling thread and is
   finished when this returns, so its effects come in program order. */
void SYS_AddParallelJob(void (*stub)(void* arguments), void* map, long long count, void* arguments)
{
    (void)map;
    (void)count;
    if (stub) stub(arguments);
}
