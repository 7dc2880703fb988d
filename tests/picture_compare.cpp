// picture_compare EXPECTED ACTUAL: exits 0 when the two pictures are alike within the
// tolerance of picture_compare.h, else 1 with the reason on standard error (for the shell
// tests that check generated files).
#include "picture_compare.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: picture_compare EXPECTED ACTUAL\n");
        return 2;
    }
    const QString expected = QString::fromLocal8Bit(argv[1]);
    const QString actual = QString::fromLocal8Bit(argv[2]);
    if (const auto why = tl::test::pictureMismatch(expected, QImage(expected), QImage(actual))) {
        std::fprintf(stderr, "%s\n", qPrintable(*why));
        return 1;
    }
    return 0;
}
