#include <cstdio>

int main() {
  std::puts("KAMVO v2.18");
  return 0;
}
