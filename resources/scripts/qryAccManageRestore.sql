use master
restore database [##DBName]
from disk = '##MDKFile'
with move '##MDFLogicName' to '##MDFFile',
     move '##LDFLogicName' to '##LDFFile', Replace

use master
alter Database [##DBName]
modify file (name=[##MDFLogicName],NewName=[##DBName])

use master
alter Database [##DBName]
modify file (name=[##LDFLogicName],NewName=[##DBName_log])

use VQTCWAccList   --如不执行该语句，AccListDB就指向Master了。

