// The operator-dialog seam: the installed implementation.
#include "operatordialogs.h"

namespace {

SilentOperator silentOperator;
OperatorDialogs* current = &silentOperator;

}  // namespace

void setOperatorDialogs(OperatorDialogs* dialogs)
{
    current = dialogs ? dialogs : &silentOperator;
}

OperatorDialogs& operatorDialogs()
{
    return *current;
}
