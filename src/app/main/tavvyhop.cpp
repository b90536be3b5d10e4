// The program entry: everything happens inside the application and the main form.
#include <iostream>
#include <string>
#include <vector>

#include "app/Session.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunTavvyhop(args, std::cout, std::cerr);
}
