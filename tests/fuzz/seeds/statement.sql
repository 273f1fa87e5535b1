delete from rmenutxt.db
