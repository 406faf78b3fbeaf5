// A program that does nothing; it exists for the resources its file carries.
int main()
{
    return 0;
}
