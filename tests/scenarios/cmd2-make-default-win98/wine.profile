# Wine leaves the default printer that was.
WINDOWS\WIN.INI|windows|device|Office Laser,OFFLASER,LPT2:
