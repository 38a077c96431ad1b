#include <QApplication>

int runContactCardTests(int argc, char **argv);
int runCardJobTests(int argc, char **argv);
int runPrinterSurfaceTests(int argc, char **argv);

// The card's pure parts, the job against a recording surface, and the real surface into a PDF.
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runContactCardTests(argc, argv);
    failures += runCardJobTests(argc, argv);
    failures += runPrinterSurfaceTests(argc, argv);
    return failures;
}
