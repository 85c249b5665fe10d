// Linked with every object of the core library and QtCore alone: the link fails when a core file
// needs a widget (or any other library the core must not depend on).
int main()
{
    return 0;
}
