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
