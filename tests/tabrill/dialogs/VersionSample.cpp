// A program that carries a version block and nothing else worth running.
int main()
{
    return 0;
}
