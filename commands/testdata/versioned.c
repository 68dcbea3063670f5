/* A minimal executable that carries a version resource; the file tests read its version. */
int entry(void) { return 0; }
