// meshview MESH.sx [options]: pictures of a mesh from a few angles (see MeshView.h).
#include <iostream>

#include "MeshView.h"

int main(int argc, char** argv) {
  meshview::Options options;
  std::string error;
  if (!meshview::ParseCommandLine(argc, argv, options, error)) {
    if (!error.empty()) std::cerr << "meshview: " << error << "\n";
    (error.empty() ? std::cout : std::cerr) << meshview::Usage();
    return error.empty() ? 0 : 2;
  }
  return meshview::Run(options, std::cout, std::cerr);
}
