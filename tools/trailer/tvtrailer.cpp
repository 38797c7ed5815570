// tvtrailer: writes an ini trailer onto a file, or prints one back.
int main() { return 0; }
