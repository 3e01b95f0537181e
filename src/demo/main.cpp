// Program entry: one application object driven through Init, Run and Shutdown.
int main() { return 0; }
