// vorlan-tohtml: writes a movie as a self-contained web page.
#include "export/command.hpp"

int main(int argc, char* argv[]) { return exporter::run(argc, argv, exporter::Format::html); }
