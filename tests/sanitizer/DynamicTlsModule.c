/* DynamicTlsModule: a shared library with one thread-local pointer. Opened
   with dlopen, each thread's copy is allocated (malloc, 8 bytes) on that
   thread's first access: dynamic TLS, as a GL driver's is. */
__thread char* gDynamicTlsSlot;

/* The calling thread's copy of the pointer; the first call allocates it. */
char** DynamicTlsSlot(void) {
    return &gDynamicTlsSlot;
}
