#include "driver.h"

int main(int argc, char* argv[])
{
    return RunOstrel(argc > 0 && argv[0] != NULL ? argv[0] : "");
}
