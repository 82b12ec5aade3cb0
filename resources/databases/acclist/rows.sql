-- The catalogue as installed: no account set listed yet (the first start
-- lists the sample account set itself), and the template-pack version this
-- installation ships, so that the first start does not restore the pack a
-- second time.
insert into DBVersion(KeyID, Version, ReleaseDate) values (1, 'PKV121224', '2012-12-24 00:00')
GO
