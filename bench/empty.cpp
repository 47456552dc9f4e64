// The floor for a whole run: a program that starts and ends, built like the engine.
int main() { return 0; }
