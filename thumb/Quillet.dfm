object Form1: TForm1
  Left = 200
  Top = 110
  BorderIcons = [biSystemMenu, biMinimize]
  BorderStyle = bsSingle
  Caption = 'Quillet(Ver0.15)'
  ClientHeight = 130
  ClientWidth = 260
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = 'ＭＳ Ｐゴシック'
  Font.Style = []
  OnActivate = FormActivate
  OnClose = FormClose
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 12
  object Label1: TLabel
    Left = 8
    Top = 152
    Width = 120
    Height = 12
    Caption = '圧縮率（１：高－低：９９）'
  end
  object Label2: TLabel
    Left = 64
    Top = 80
    Width = 185
    Height = 12
    Caption = 'http://vornel.example.org/'
    Color = clBtnFace
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clActiveCaption
    Font.Height = -12
    Font.Name = 'ＭＳ Ｐゴシック'
    Font.Style = [fsUnderline]
    ParentFont = False
    ParentColor = False
    OnClick = Label2Click
  end
  object Label3: TLabel
    Left = 64
    Top = 96
    Width = 124
    Height = 12
    Caption = 'vornel@example.org'
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clPurple
    Font.Height = -12
    Font.Name = 'ＭＳ Ｐゴシック'
    Font.Style = [fsUnderline]
    ParentFont = False
    OnClick = Label3Click
  end
  object Label5: TLabel
    Left = 16
    Top = 80
    Width = 39
    Height = 12
    Caption = 'Orvelda'
    Font.Charset = SHIFTJIS_CHARSET
    Font.Color = clWindowText
    Font.Height = -12
    Font.Name = 'ＭＳ Ｐゴシック'
    Font.Style = [fsBold]
    ParentFont = False
  end
  object Label6: TLabel
    Left = 16
    Top = 8
    Width = 100
    Height = 12
    Caption = '長辺のサイズ（ｄｏｔ）'
  end
  object Label7: TLabel
    Left = 16
    Top = 32
    Width = 48
    Height = 12
    Caption = '先頭文字'
  end
  object Edit1: TEdit
    Left = 144
    Top = 144
    Width = 73
    Height = 20
    TabOrder = 0
    Text = '66'
  end
  object UpDown1: TUpDown
    Left = 217
    Top = 144
    Width = 15
    Height = 20
    Associate = Edit1
    Min = 1
    Max = 99
    Position = 66
    TabOrder = 1
  end
  object ProgressBar1: TProgressBar
    Left = 8
    Top = 112
    Width = 241
    Height = 9
    Min = 0
    Max = 100
    TabOrder = 2
  end
  object CheckBox1: TCheckBox
    Left = 16
    Top = 56
    Width = 129
    Height = 17
    Caption = '処理後終了する'
    TabOrder = 3
  end
  object Edit2: TEdit
    Left = 152
    Top = 8
    Width = 73
    Height = 20
    TabOrder = 4
    Text = '64'
  end
  object UpDown2: TUpDown
    Left = 225
    Top = 8
    Width = 15
    Height = 20
    Associate = Edit2
    Min = 32
    Max = 640
    Position = 64
    TabOrder = 5
  end
  object Edit3: TEdit
    Left = 152
    Top = 32
    Width = 73
    Height = 20
    TabOrder = 6
    Text = '$_'
  end
  object MailAndHP1: TMailAndHP
    MailAddress = 'vornel@example.org'
    HomePageAddress = 'http://vornel.example.org/'
  end
  object FileDrop1: TFileDrop
    OnFileDrop = FileDrop1FileDrop
  end
end
