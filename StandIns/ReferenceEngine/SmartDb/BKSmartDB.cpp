// Stand-in for the vendor's BKSmartDB.dll: the engine is handed its path at initialisation
// and refuses to start unless it is this module (BKSmartDB_GetVersion answers 1).

extern "C" int BKSmartDB_GetVersion(void)
{
    return 1;
}
