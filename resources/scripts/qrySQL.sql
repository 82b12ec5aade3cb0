--SQLAL_A
delete from T_Options
where Name like 'VQTCW_%'
  and Name not in (select 'VQTCW_'+DBName from AccList)
--SQLAL_B

--AccList_A
select * from AccList
where 'VQTCW_'+DBName not in (select Name from T_Options)
--AccList_B

--UpdatePW_A
if exists (select 1 from master..sysdatabases where Name='##UserDBName')
begin
  if exists (select 1 from T_Options where Name='##UserDBName')
  begin
    update T_Options
    set TxtValue=(select [Password] from [##UserDBName]..T_Operator where KeyID=1)
    where Name='##UserDBName'
  end
  else
  begin
   insert into T_Options(KeyID, Name, TxtValue)
   select (select isnull(max(KeyID),0)+1 from T_Options), '##UserDBName',
          (select [Password] from [##UserDBName]..T_Operator where KeyID=1)
  end
end
--UpdatePW_B
