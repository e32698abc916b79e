object Form1: TForm1
  Left = 192
  Top = 107
  BorderStyle = bsSingle
  Caption = 'Vornel_R(Ver0.15)'
  ClientHeight = 101
  ClientWidth = 257
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
    Left = 16
    Top = 8
    Width = 120
    Height = 12
    Caption = '圧縮率（１：高－低：９９）'
  end
  object Label2: TLabel
    Left = 8
    Top = 48
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
    Left = 8
    Top = 64
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
  object Edit1: TEdit
    Left = 152
    Top = 8
    Width = 73
    Height = 20
    TabOrder = 0
    Text = '66'
  end
  object UpDown1: TUpDown
    Left = 225
    Top = 8
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
    Top = 88
    Width = 241
    Height = 9
    Min = 0
    Max = 100
    TabOrder = 2
  end
  object CheckBox1: TCheckBox
    Left = 8
    Top = 32
    Width = 169
    Height = 17
    Caption = '処理後終了する'
    TabOrder = 3
  end
  object MailAndHP1: TMailAndHP
    MailAddress = 'vornel@example.org'
    HomePageAddress = 'http://vornel.example.org/'
  end
  object FileDrop1: TFileDrop
    OnFileDrop = FileDrop1FileDrop
  end
end
