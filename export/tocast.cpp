// vorlan-tocast: writes a movie as an asciicast for terminal and web players.
#include "export/command.hpp"

int main(int argc, char* argv[]) { return exporter::run(argc, argv, exporter::Format::cast); }
