/* The baseline for whole-process timing: a program that only returns 0. */
int main(void) { return 0; }
