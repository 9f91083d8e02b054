// tmw: the composer. Without its string table the program ends at once.
#include <QApplication>

#include "app/shell/application.h"

int main(int argc, char** argv) {
    if (!tunemill::string_table_present()) return 0;
    QApplication app(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return tunemill::run_composer(arguments);
}
