// tvengine: runs installer scripts against TVISX.dll.
int main() { return 1; }
