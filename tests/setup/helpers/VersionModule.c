/* A module that is nothing but its resources. */
int __stdcall DllMain(void* module, unsigned long reason, void* reserved) {
    (void)module;
    (void)reason;
    (void)reserved;
    return 1;
}
