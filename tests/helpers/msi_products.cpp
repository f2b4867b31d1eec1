// Lists the products Windows Installer has registered for an upgrade code, one a line: product
// code, version and the package file it was installed from. For the package test.
//   msi_products.exe <upgrade code>
#include <windows.h>
#include <msi.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: msi_products <upgrade code>\n");
        return 2;
    }
    char product[39] = {};
    for (DWORD i = 0; MsiEnumRelatedProductsA(argv[1], 0, i, product) == ERROR_SUCCESS; ++i) {
        char version[64] = {};
        DWORD size = sizeof version;
        if (MsiGetProductInfoA(product, INSTALLPROPERTY_VERSIONSTRING, version, &size) !=
            ERROR_SUCCESS) {
            version[0] = '\0';
        }
        char package[MAX_PATH] = {};
        size = sizeof package;
        if (MsiGetProductInfoA(product, INSTALLPROPERTY_PACKAGENAME, package, &size) !=
            ERROR_SUCCESS) {
            package[0] = '\0';
        }
        std::printf("%s %s %s\n", product, version[0] ? version : "?", package[0] ? package : "?");
    }
    return 0;
}
