// Carries task graph documents as resources for the loader's tests, which
// load this program as a data file; running it does nothing.
int wmain() { return 0; }
