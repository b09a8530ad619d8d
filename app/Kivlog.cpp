// Program entry; replaced by the full start-up with the single-instance rule.
int main() { return 0; }
