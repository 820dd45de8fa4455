/* standin.c — the least a C stand-in library can be: one exported call. Built
 * seven times (STANDIN_CALL names the call) to weigh the cost of loading the
 * camera's seven libraries. */
int STANDIN_CALL(void)
{
    return 0;
}
