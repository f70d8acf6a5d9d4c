/* Code of the fixture PE files: they are only read, never run. */
int HkFixtureEntry(void *module, unsigned reason, void *reserved)
{
    (void) module; (void) reason; (void) reserved;
    return 1;
}
