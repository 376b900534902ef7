/* Stands for a DLL that someone put next to the program. */
__declspec(dllexport) int authclient_planted(void) {
    return 42;
}
