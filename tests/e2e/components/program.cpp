// A program, not a component: it has no DllRegisterServer, and no code of it runs in TolVane.
int main()
{
    return 0;
}
