// Smallest program: the tests read the version block that the build put into its file.
int main() {
  return 0;
}
