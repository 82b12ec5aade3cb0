-- The account-set upgrade's view script: each statement ends with a line
-- holding only ";".

--V_SubAllName_A
if exists (select * from sysobjects where name='V_SubAllName' and xtype='V') drop view V_SubAllName
;
create view V_SubAllName as
select a.*,
       substring(a.Code,1,L.SubLen1) as Code1,
       substring(a.Code,1,L.SubLen2) as Code2,
       substring(a.Code,1,L.SubLen3) as Code3,
       substring(a.Code,1,L.SubLen4) as Code4,
       substring(a.Code,1,L.SubLen5) as Code5,
       substring(a.Code,1,L.SubLen6) as Code6,
       (case a.Grade
          when 1 then s1.Name
          when 2 then s1.Name+'→'+s2.Name
          when 3 then s1.Name+'→'+s2.Name+'→'+s3.Name
          when 4 then s1.Name+'→'+s2.Name+'→'+s3.Name+'→'+s4.Name
          when 5 then s1.Name+'→'+s2.Name+'→'+s3.Name+'→'+s4.Name+'→'+s5.Name
          when 6 then s1.Name+'→'+s2.Name+'→'+s3.Name+'→'+s4.Name+'→'+s5.Name+'→'+s6.Name
          else '...'+a.Name end) as AllName
from CW_Subject a
left join CW_SubLen L on L.KeyID=1
left join CW_Subject s1 on s1.Grade=1 and s1.Code=substring(a.Code,1,L.SubLen1)
left join CW_Subject s2 on s2.Grade=2 and s2.Code=substring(a.Code,1,L.SubLen2)
left join CW_Subject s3 on s3.Grade=3 and s3.Code=substring(a.Code,1,L.SubLen3)
left join CW_Subject s4 on s4.Grade=4 and s4.Code=substring(a.Code,1,L.SubLen4)
left join CW_Subject s5 on s5.Grade=5 and s5.Code=substring(a.Code,1,L.SubLen5)
left join CW_Subject s6 on s6.Grade=6 and s6.Code=substring(a.Code,1,L.SubLen6)
;
--V_SubAllName_B
