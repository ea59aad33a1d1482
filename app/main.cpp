#include "ZelvoApplication.h"

int main(int argc, char* argv[])
{
    Zelvo::ZelvoApplication app(argc, argv);
    return app.exec();
}
