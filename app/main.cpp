#include "app/startup.h"

int main(int argc, char *argv[])
{
    return WindowProgram::run(argc, argv);
}
