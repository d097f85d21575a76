#include "app/application.h"

int main(int argc, char** argv) { return delvora::RunWorkstation(argc, argv); }
